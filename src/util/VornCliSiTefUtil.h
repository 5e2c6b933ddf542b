#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/AnsiString.h"

// Text, number and file helpers of the TEF layer.

// ANSI code page <-> UTF-8, the only crossings between the two text kinds.
std::string VornCliSiTefStr(AnsiStringView ansi);
AnsiString VornAnsiStr(std::string_view utf8);

// Left-aligns in width n with the fill on the right; a longer text keeps its first n characters.
AnsiString padL(AnsiStringView text, int n, char fill);
// Right-aligns in width n with the fill on the left; a longer text keeps its first n characters.
AnsiString padR(AnsiStringView text, int n, char fill);
// Trims blanks and control characters, then padR with '0'.
AnsiString Poem_Zeros(AnsiStringView text, int n);
AnsiString IntToStrZero(std::int64_t value, int n);
bool CharIsNum(char c);
// The decimal digits of the text, in order.
std::string OnlyNumber(AnsiStringView text);

// Parses a decimal number taking both "." and "," as the decimal mark; a text
// holding both fails. Raises EConvertError when the text is not a number.
double StringToFloat(const std::string& text);
double StringToFloatDef(const std::string& text, double fallback);

// Escapes bytes below 32 and above 127 as "\xHH" (upper-case), and back.
AnsiString BinaryStringToString(AnsiStringView text);
AnsiString StringToBinaryString(AnsiStringView text);

// The trimmed path with one trailing delimiter; a blank path stays empty.
std::string PathWithDelim(const std::string& path);
// Every entry matching the mask ("." and ".." excluded), sorted
// case-insensitively; with withPath each carries the mask's folder part.
void FindFiles(const std::string& mask, std::vector<std::string>& list, bool withPath);
bool FilesExists(const std::string& mask);
// Writes the text (and CR LF when lineBreak) at the end of the file when
// append is set, else into a new or emptied file. Raises on failure.
void WriteToTXT(const AnsiString& fileName, const AnsiString& text, bool append, bool lineBreak);
bool FlushFileToDisk(const std::string& fileName);
// Runs a program: with wait, as a new process in the program's folder until it
// ends; without, handed to the shell to open, returning at once.
void RunCommand(const std::string& program, const std::string& parameters, bool wait,
                std::uint16_t showWindow);

// Loads the library (one more reference) and looks the function up.
bool FunctionDetect(const std::string& library, const std::string& function, void*& address);
bool FunctionDetect(const std::string& library, const std::string& function, void*& address,
                    void*& module);
// Releases one reference of a loaded library; true when it was not loaded.
bool UnLoadLibrary(const AnsiString& library);

// Optional functions looked up when the program starts; null when missing
// (always on Linux, where these Windows libraries do not exist).
struct OptionalSystemFunctions {
  void* Inp32 = nullptr;
  void* Out32 = nullptr;
  void* BlockInput = nullptr;
};
const OptionalSystemFunctions& SystemFunctions();
