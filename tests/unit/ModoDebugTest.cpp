#include <FL/Fl.H>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "FakePlatform.h"
#include "host/EchoDispatcher.h"
#include "host/ModoDebug.h"
#include "platform/Platform.h"
#include "platform/Socket.h"
#include "window/ModoDebugFltk.h"

extern char** environ;

// Fontconfig keeps its font caches until the process ends; under the leak
// checker they are not the window's leaks.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace {

// An X server for the test: the one in DISPLAY, or a private Xvfb.
class XServer {
 public:
  XServer() {
    if (std::getenv("DISPLAY") != nullptr) {
      available_ = true;
      return;
    }
    if (!std::filesystem::exists("/usr/bin/Xvfb"))
      return;
    for (int n = 50; n < 100; ++n) {
      const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
      if (std::filesystem::exists(socket) ||
          std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
        continue;
      }
      const std::string display = ":" + std::to_string(n);
      const char* argv[] = {"Xvfb", display.c_str(), "-nolisten", "tcp", "-screen",
                            "0",    "800x600x24",    nullptr};
      if (posix_spawn(&pid_, "/usr/bin/Xvfb", nullptr, nullptr, const_cast<char**>(argv),
                      environ) != 0) {
        return;
      }
      for (int i = 0; i < 100 && !std::filesystem::exists(socket); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      if (!std::filesystem::exists(socket))
        return;
      setenv("DISPLAY", display.c_str(), 1);
      available_ = true;
      return;
    }
  }
  ~XServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool Available() const { return available_; }

 private:
  pid_t pid_ = 0;
  bool available_ = false;
};

// Runs the GUI loop until `done` holds; false after five seconds.
bool PumpUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    Fl::wait(0.02);
  }
  return true;
}

bool Listening(int port) {
  try {
    platform::ListenTcp({port});
    return false;
  } catch (const std::runtime_error&) {
    return true;
  }
}

TEST(ModoDebug, WindowAndStartStop) {
  XServer x;
  if (!x.Available())
    GTEST_SKIP() << "no X server (DISPLAY unset and no Xvfb)";
  TempDir app;
  FakePlatform fake;
  fake.SetExecutablePath(app.Path() + "SvcQuorelSiTef");
  const int port = platform::ListenTcp({})->Port();
  std::ofstream(app.Path() + "SvcQuorelSiTef.ini") << "[server]\nport=" << port << "\n";
  const std::string certificate = std::string(GATEWAY_SOURCE_DIR) + "/tools/dev-cert.sh " +
                                  app.Path() + "Certificado >/dev/null";
  ASSERT_EQ(std::system(certificate.c_str()), 0);

  auto form = std::make_unique<TfrmModoDebug>(
      EchoDispatcher([](const std::string&) {}), [](TModoDebugView::Events events) {
        return std::make_unique<TModoDebugFltk>(std::move(events));
      });
  auto& view = static_cast<TModoDebugFltk&>(form->View());
  view.Window()->show();
  ASSERT_TRUE(PumpUntil([&] { return view.Window()->visible() != 0; })) << "window shown";
  EXPECT_STREQ(view.Window()->label(), "SiTef service - Modo debug");
  EXPECT_EQ(view.Window()->w(), 446);
  EXPECT_EQ(view.Window()->h(), 257);
  EXPECT_STREQ(view.ButtonStart->label(), "Start");
  EXPECT_STREQ(view.ButtonStop->label(), "Stop");
  EXPECT_STREQ(view.BitBtn1->label(), "BitBtn1");
  EXPECT_TRUE(view.ButtonStart->active() && !view.ButtonStop->active()) << "before Start";
  EXPECT_FALSE(Listening(port));

  view.ButtonStart->do_callback();
  EXPECT_TRUE(PumpUntil([&] { return view.ButtonStop->active() != 0; })) << "Stop enabled";
  EXPECT_FALSE(view.ButtonStart->active()) << "Start disabled while listening";
  EXPECT_TRUE(Listening(port));

  view.ButtonStop->do_callback();
  EXPECT_TRUE(view.ButtonStart->active() && !view.ButtonStop->active()) << "after Stop";
  EXPECT_FALSE(Listening(port));

  view.ButtonStart->do_callback();
  EXPECT_TRUE(PumpUntil([&] { return view.ButtonStop->active() != 0; })) << "second Start";
  EXPECT_TRUE(Listening(port));
  form.reset();
  EXPECT_FALSE(Listening(port)) << "closing the window stops the server";
}

// The executable finds the window through the module's entry point.
TEST(ModoDebug, ModuleExportsTheViewFactory) {
  const platform::Platform& os = platform::Current();
  void* module = os.LoadLibrary(WINDOW_MODULE_PATH);
  ASSERT_NE(module, nullptr) << WINDOW_MODULE_PATH;
  EXPECT_NE(os.FindSymbol(module, kCreateModoDebugView), nullptr);
  os.FreeLibrary(module);
}

}  // namespace
