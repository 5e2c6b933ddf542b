// The debug window made of Windows' own controls, created through the
// module's entry point as the executable does. Windows need a display: under
// Wine the prefix's graphics driver "null" (or an X server) provides one.

#include "window/win32/ModoDebugWin32.h"

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

namespace {

struct Counts {
  int start = 0, stop = 0, test = 0, idle = 0;
};

// A view whose events are counted; idle events close the window after
// `idlesBeforeClose` of them.
std::unique_ptr<TModoDebugWin32> MakeView(Counts& counts, int idlesBeforeClose = 0) {
  TModoDebugView::Events events;
  events.OnStartClick = [&counts] { ++counts.start; };
  events.OnStopClick = [&counts] { ++counts.stop; };
  events.OnTestClick = [&counts] { ++counts.test; };
  auto holder = std::make_shared<TModoDebugWin32*>(nullptr);
  events.OnIdle = [&counts, holder, idlesBeforeClose] {
    if (++counts.idle == idlesBeforeClose)
      PostMessageW((*holder)->Window(), WM_CLOSE, 0, 0);
  };
  std::unique_ptr<TModoDebugWin32> view(
      static_cast<TModoDebugWin32*>(CreateModoDebugView(&events)));
  *holder = view.get();
  return view;  // null without a display
}

std::wstring Text(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

TEST(ModoDebugWin32, CaptionSizeBorderAndControls) {
  Counts counts;
  const std::unique_ptr<TModoDebugWin32> view = MakeView(counts);
  if (!view) {
    GTEST_SKIP() << "no display for windows (Wine: the prefix's graphics driver \"null\")";
  }
  EXPECT_EQ(Text(view->Window()), L"SiTef service - Modo debug");
  RECT client{};
  GetClientRect(view->Window(), &client);
  EXPECT_EQ(client.right, 446);
  EXPECT_EQ(client.bottom, 257);
  const LONG style = GetWindowLongW(view->Window(), GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME) << "a fixed border";

  struct Row {
    HWND control;
    const wchar_t* className;
    const wchar_t* caption;
  };
  const Row rows[] = {
      {view->ButtonStart, L"Button", L"Start"},
      {view->ButtonStop, L"Button", L"Stop"},
      {view->BitBtn1, L"Button", L"BitBtn1"},
      {view->mmJson, L"Edit", nullptr},
  };
  for (const Row& row : rows) {
    wchar_t className[64] = {};
    GetClassNameW(row.control, className, 64);
    EXPECT_EQ(CompareStringOrdinal(className, -1, row.className, -1, TRUE), CSTR_EQUAL)
        << static_cast<const void*>(row.control);
    if (row.caption != nullptr) {
      EXPECT_EQ(Text(row.control), row.caption);
    }
  }
  const LONG edit = GetWindowLongW(view->mmJson, GWL_STYLE);
  EXPECT_TRUE(edit & ES_MULTILINE);
  EXPECT_TRUE(edit & WS_VSCROLL);
  const auto sample = nlohmann::json::parse(view->JsonText());
  EXPECT_EQ(sample.at("type"), "result");
  EXPECT_EQ(sample.at("transaction_data").at(0).at("gateway"), "Software Express");
}

TEST(ModoDebugWin32, ButtonsRaiseTheirEventsAndFollowTheServerState) {
  Counts counts;
  const std::unique_ptr<TModoDebugWin32> view = MakeView(counts, 3);
  if (!view) {
    GTEST_SKIP() << "no display for windows (Wine: the prefix's graphics driver \"null\")";
  }
  SendMessageW(view->ButtonStart, BM_CLICK, 0, 0);
  SendMessageW(view->BitBtn1, BM_CLICK, 0, 0);
  SendMessageW(view->BitBtn1, BM_CLICK, 0, 0);
  EXPECT_EQ(counts.start, 1);
  EXPECT_EQ(counts.stop, 0);
  EXPECT_EQ(counts.test, 2);

  struct Row {
    bool active;
    bool startEnabled;
    bool stopEnabled;
  };
  for (const Row& row : {Row{true, false, true}, Row{false, true, false}}) {
    view->ShowServerActive(row.active);
    EXPECT_EQ(IsWindowEnabled(view->ButtonStart) != 0, row.startEnabled) << row.active;
    EXPECT_EQ(IsWindowEnabled(view->ButtonStop) != 0, row.stopEnabled) << row.active;
  }
  SendMessageW(view->ButtonStop, BM_CLICK, 0, 0);
  EXPECT_EQ(counts.stop, 1);

  EXPECT_EQ(view->Run(), 0) << "closed by the third idle event";
  EXPECT_EQ(counts.idle, 3);
}

}  // namespace
