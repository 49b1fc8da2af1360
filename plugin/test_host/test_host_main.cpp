// The test host: a stand-in for the modelling package that loads the
// plug-in library the way the package does and runs the tests against it.
//   kw_plugin_test_host [--plugin PATH] [--references DIR] [--filter TEXT] [--list]
//   kw_plugin_test_host --plugin PATH --screenshot NAME
// With --screenshot it opens the options dialog over the figure scene,
// writes NAME.ready with the dialog's screen rectangle (left top width
// height), waits for NAME.taken to appear and cancels.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "plugin/test_host/check.h"
#include "plugin/test_host/modal_driver.h"
#include "plugin/test_host/sample_scenes.h"
#include "plugin/test_host/test_host.h"

namespace kw::test {
namespace {

constexpr char kMainWindowClass[] = "KestrelworksTestHost";
constexpr DWORD kScreenshotWaitMs = 60000;

HWND CreateMainWindow() {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
  windowClass.lpszClassName = kMainWindowClass;
  RegisterClassExA(&windowClass);
  HWND window =
      CreateWindowExA(0, kMainWindowClass, "Kestrelworks test host", WS_OVERLAPPEDWINDOW, 120, 100,
                      640, 480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (window) {
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetForegroundWindow(window);
  }
  return window;
}

int Screenshot(const std::string& name) {
  InstalledScene installed(MakeFigureScene());
  SessionPtr session = NewSession();
  if (!session) {
    std::fprintf(stderr, "the class descriptor made no session\n");
    return 1;
  }
  const DWORD started = GetTickCount();
  int ticksOpen = 0;
  bool announced = false;
  ModalDriver driver(
      [&](HWND dialog) {
        // A few ticks first, so that the dialog has reached the screen.
        if (++ticksOpen < 20) return false;
        if (!announced) {
          RECT box;
          GetWindowRect(dialog, &box);
          FILE* ready = std::fopen((name + ".ready").c_str(), "w");
          if (ready) {
            std::fprintf(ready, "%ld %ld %ld %ld\n", box.left, box.top, box.right - box.left,
                         box.bottom - box.top);
            std::fclose(ready);
          }
          announced = true;
        }
        if (!FileExists(name + ".taken") && GetTickCount() - started < kScreenshotWaitMs) {
          return false;
        }
        Click(dialog, IDCANCEL);
        return true;
      },
      kScreenshotWaitMs + 5000);
  session->DoExport("screenshot.smd", nullptr, GetCOREInterface(), FALSE, 0);
  if (driver.OptionsDialogsSeen() != 1 || !announced) {
    std::fprintf(stderr, "the options dialog did not open\n");
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace kw::test

int main(int argc, char** argv) {
  std::string pluginPath = "kestrelworks.dle";
  std::string filter;
  std::string screenshot;
  bool list = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "--plugin" && hasValue) {
      pluginPath = argv[++i];
    } else if (argument == "--references" && hasValue) {
      kw::test::Host().referenceFolder = argv[++i];
    } else if (argument == "--filter" && hasValue) {
      filter = argv[++i];
    } else if (argument == "--screenshot" && hasValue) {
      screenshot = argv[++i];
    } else if (argument == "--list") {
      list = true;
    } else {
      std::fprintf(stderr, "unknown argument %s\n", argument.c_str());
      return 2;
    }
  }
  if (list) {
    kw::test::ListAll();
    return 0;
  }

  kw::test::Host().mainWindow = kw::test::CreateMainWindow();
  if (!kw::test::Host().mainWindow) {
    std::fprintf(stderr, "could not create the main window\n");
    return 1;
  }
  std::string error;
  if (!kw::test::Host().plugin.Load(pluginPath, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::printf("0 passed, 1 failed\n");
    return 1;
  }
  if (!screenshot.empty()) return kw::test::Screenshot(screenshot);
  return kw::test::RunAll(filter) == 0 ? 0 : 1;
}
