// The service host under the Service Control Manager: this test program
// registers itself as a service, and the manager starts it again with
// "--service-under-test FILE", where it runs a service that writes every
// control request it receives into FILE.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "FakePlatform.h"
#include "platform/Platform.h"
#include "platform/ServiceHost.h"

namespace {

constexpr char kName[] = "QuorelSiTefServiceHostTest";
constexpr char kDescription[] =
    "Servi\xC3\xA7o guardi\xC3\xA3o do Quorel DataSnap Servidor- Mantenha este servi\xC3\xA7o "
    "iniciado.";
constexpr char kServicesKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";

// The service the manager runs: one line per request, until stop.
int RecordingService(const std::string& record) {
  const auto write = [&](const char* line) {
    std::ofstream(record, std::ios::app) << line << "\n";
  };
  write("start");
  for (;;) {
    switch (platform::WaitServiceControl(std::chrono::milliseconds(100))) {
      case platform::ServiceControl::kStop:
        write("stop");
        return 0;
      case platform::ServiceControl::kPause:
        write("pause");
        break;
      case platform::ServiceControl::kContinue:
        write("continue");
        break;
      case platform::ServiceControl::kNone:
        break;
    }
  }
}

struct ScHandle {
  SC_HANDLE handle;
  explicit ScHandle(SC_HANDLE h) : handle(h) {}
  ~ScHandle() {
    if (handle != nullptr)
      CloseServiceHandle(handle);
  }
};

// Waits (generously: a loaded machine starts a Wine process slowly) for the
// service to reach `state`; the state it ended in.
DWORD WaitForState(SC_HANDLE service, DWORD state) {
  SERVICE_STATUS status{};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (QueryServiceStatus(service, &status) && status.dwCurrentState != state &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return status.dwCurrentState;
}

std::string Read(const std::string& path) {
  std::ifstream in(path);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

class ServiceHostWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    try {
      platform::UninstallService(kName);  // left over by an interrupted run
    } catch (const std::runtime_error&) {
    }
  }
  void TearDown() override {
    try {
      platform::UninstallService(kName);
    } catch (const std::runtime_error&) {
    }
  }
  TempDir dir;
};

TEST_F(ServiceHostWin32, InstallRegistersTheServiceAndItsDescription) {
  const std::string executable = platform::Current().ExecutablePath();
  EXPECT_EQ(platform::InstallService({kName, kDescription, executable, "--service"}),
            kServicesKey + std::string(kName));

  const ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  const ScHandle service(
      OpenServiceW(manager.handle, L"QuorelSiTefServiceHostTest", SERVICE_QUERY_CONFIG));
  ASSERT_NE(service.handle, nullptr);
  alignas(QUERY_SERVICE_CONFIGW) char buffer[8192];
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
  DWORD needed = 0;
  ASSERT_TRUE(QueryServiceConfigW(service.handle, config, sizeof buffer, &needed));
  EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(config->dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
  EXPECT_STREQ(config->lpDisplayName, L"QuorelSiTefServiceHostTest");
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  EXPECT_EQ(std::wstring(config->lpBinaryPathName), L"\"" + std::wstring(path) + L"\" --service");

  ASSERT_TRUE(QueryServiceConfig2W(service.handle, SERVICE_CONFIG_DESCRIPTION,
                                   reinterpret_cast<BYTE*>(buffer), sizeof buffer, &needed));
  EXPECT_STREQ(reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer)->lpDescription,
               L"Servi\u00E7o guardi\u00E3o do Quorel DataSnap Servidor- Mantenha este "
               L"servi\u00E7o iniciado.");

  EXPECT_THROW(platform::InstallService({kName, kDescription, executable, "--service"}),
               std::runtime_error)
      << "already installed";
}

TEST_F(ServiceHostWin32, TheManagersRequestsReachTheServiceAndItsStatesAreReported) {
  const std::string record = dir.Path() + "record.txt";
  platform::InstallService({kName, kDescription, platform::Current().ExecutablePath(),
                            "--service-under-test \"" + record + "\""});
  const ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  const ScHandle service(
      OpenServiceW(manager.handle, L"QuorelSiTefServiceHostTest",
                   SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_QUERY_STATUS));
  ASSERT_NE(service.handle, nullptr);
  ASSERT_TRUE(StartServiceW(service.handle, 0, nullptr)) << GetLastError();
  ASSERT_EQ(WaitForState(service.handle, SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));

  struct Row {
    DWORD control;
    DWORD reached;
  };
  const Row rows[] = {
      {SERVICE_CONTROL_PAUSE, SERVICE_PAUSED},
      {SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING},
      {SERVICE_CONTROL_STOP, SERVICE_STOPPED},
  };
  for (const Row& row : rows) {
    SERVICE_STATUS status{};
    EXPECT_TRUE(ControlService(service.handle, row.control, &status))
        << "control " << row.control << ": " << GetLastError();
    EXPECT_EQ(WaitForState(service.handle, row.reached), row.reached) << "control " << row.control;
  }
  EXPECT_EQ(Read(record), "start\npause\ncontinue\nstop\n");
}

TEST_F(ServiceHostWin32, UninstallRemovesTheServiceAndFailsWhenThereIsNone) {
  platform::InstallService(
      {kName, kDescription, platform::Current().ExecutablePath(), "--service"});
  EXPECT_EQ(platform::UninstallService(kName), kServicesKey + std::string(kName));
  try {
    platform::UninstallService(kName);
    FAIL() << "removed twice";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(kName), std::string::npos) << error.what();
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--service-under-test") {
    const std::string record = argv[2];
    return platform::RunService(kName, [&] { return RecordingService(record); });
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
