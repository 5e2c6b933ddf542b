#include "window/win32/ModoDebugWin32.h"

#include <stdexcept>

#include "platform/win32/WideText.h"
#include "window/SampleResult.h"

namespace {

constexpr wchar_t kClassName[] = L"TfrmModoDebug";
constexpr wchar_t kCaption[] = L"SiTef service - Modo debug";
// The application's title, which message boxes carry.
constexpr wchar_t kTitle[] = L"SvcQuorelSiTef";
constexpr int kClientWidth = 446;
constexpr int kClientHeight = 257;
constexpr UINT_PTR kIdleTimer = 1;
constexpr UINT kIdleMs = 100;
// A fixed single border, the system menu and the minimise box; no maximise.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

enum ControlId : int { kStart = 1, kStop, kTest, kJson };

void Raise(const std::function<void()>& event) {
  if (event)
    event();
}

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

void RegisterWindowClass(HINSTANCE module) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = module;
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  RegisterClassExW(&windowClass);  // fails harmlessly when already registered
}

// The edit control's text has CR LF line ends.
std::wstring WithCrLf(const std::string& text) {
  std::string converted;
  for (char c : text) {
    if (c == '\n')
      converted += '\r';
    converted += c;
  }
  return platform::Utf8ToWide(converted);
}

}  // namespace

TModoDebugWin32::TModoDebugWin32(Events events) : events_(std::move(events)) {
  const HINSTANCE module = ThisModule();
  RegisterWindowClass(module);
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
  window_ = CreateWindowExW(0, kClassName, kCaption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                            module, nullptr);
  if (window_ == nullptr)
    throw std::runtime_error(platform::SystemMessage(GetLastError()));
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));

  const auto child = [&](const wchar_t* kind, const wchar_t* text, DWORD style, DWORD extended,
                         int x, int y, int width, int height, ControlId id) {
    HWND control = CreateWindowExW(
        extended, kind, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, x, y, width, height,
        window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
    return control;
  };
  ButtonStart = child(L"BUTTON", L"Start", BS_PUSHBUTTON, 0, 8, 8, 75, 25, kStart);
  ButtonStop = child(L"BUTTON", L"Stop", BS_PUSHBUTTON, 0, 89, 8, 75, 25, kStop);
  BitBtn1 = child(L"BUTTON", L"BitBtn1", BS_PUSHBUTTON, 0, 170, 8, 75, 25, kTest);
  mmJson = child(L"EDIT", WithCrLf(kSampleResult).c_str(),
                 WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, WS_EX_CLIENTEDGE, 8,
                 41, 430, 208, kJson);
  SetTimer(window_, kIdleTimer, kIdleMs, nullptr);
}

TModoDebugWin32::~TModoDebugWin32() {
  if (window_ != nullptr) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

LRESULT CALLBACK TModoDebugWin32::WindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  auto* view = reinterpret_cast<TModoDebugWin32*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  return view != nullptr ? view->Handle(message, wParam, lParam)
                         : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TModoDebugWin32::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
          case kStart:
            Raise(events_.OnStartClick);
            return 0;
          case kStop:
            Raise(events_.OnStopClick);
            return 0;
          case kTest:
            Raise(events_.OnTestClick);
            return 0;
        }
      }
      break;
    case WM_TIMER:
      if (wParam == kIdleTimer) {
        Raise(events_.OnIdle);
        return 0;
      }
      break;
    case WM_DESTROY:
      KillTimer(window_, kIdleTimer);
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      window_ = nullptr;
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void TModoDebugWin32::ShowServerActive(bool active) {
  EnableWindow(ButtonStart, !active);
  EnableWindow(ButtonStop, active);
}

std::string TModoDebugWin32::JsonText() const {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(mmJson)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(mmJson, text.data(), static_cast<int>(text.size()))));
  return platform::WideToUtf8(text);
}

void TModoDebugWin32::ShowMessage(const std::string& text) {
  MessageBoxW(window_, platform::Utf8ToWide(text).c_str(), kTitle, MB_OK);
}

int TModoDebugWin32::Run() {
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(window_, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return static_cast<int>(message.wParam);
}

TModoDebugView* CreateModoDebugView(const TModoDebugView::Events* events) {
  try {
    return new TModoDebugWin32(*events);
  } catch (const std::runtime_error&) {
    return nullptr;
  }
}
