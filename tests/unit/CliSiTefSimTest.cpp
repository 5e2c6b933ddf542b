#include <gtest/gtest.h>
int x;
TEST(A,B){}
