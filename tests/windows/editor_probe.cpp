// ombrine-editor-probe MODULE OUTDIR: a minimal Windows host for the editor.
// It creates a top-level window, loads the DLL through LoadLibrary and its
// entry point, opens the editor on the window, and then:
//   - writes captures of the editor window (BitBlt of its own DC) as PPM files:
//     the initial state, after host automation, after the gestures below;
//   - sends the mouse and key messages of EditorScript.h to the editor window
//     and prints the host notifications each gesture caused;
//   - opens and closes the editor repeatedly and reports windows, window
//     classes and memory left behind.
// Everything it reports goes to standard output, one fact per line.
#include "EditorScript.h"
#include "vsthost/vsthost.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <memory>
#include <string>
#include <vector>
#include <windows.h>
#include <windowsx.h>
// After windows.h.
#include <psapi.h>

namespace {

constexpr int kWidth = 890;
constexpr int kHeight = 162;

LRESULT CALLBACK hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND createHostWindow() {
  WNDCLASSEXW description{};
  description.cbSize = sizeof description;
  description.lpfnWndProc = hostWindowProc;
  description.hInstance = GetModuleHandleW(nullptr);
  description.hCursor = LoadCursor(nullptr, IDC_ARROW);
  description.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  description.lpszClassName = L"OmbrineProbeHost";
  RegisterClassExW(&description);
  RECT rect{0, 0, kWidth, kHeight};
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  AdjustWindowRect(&rect, style, FALSE);
  HWND window = CreateWindowExW(0, L"OmbrineProbeHost", L"Ombrine probe", style, 10, 10,
                                rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                description.hInstance, nullptr);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  return window;
}

// What a host's message loop does between its calls into the plug-in.
void pumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

int childCount(HWND parent) {
  int count = 0;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    ++count;
  return count;
}

// The window's pixels as the screen shows them, RGB rows top to bottom.
std::vector<unsigned char> capture(HWND window, int& width, int& height) {
  RECT client{};
  GetClientRect(window, &client);
  width = client.right;
  height = client.bottom;
  std::vector<unsigned char> rgb;
  if (width <= 0 || height <= 0) return rgb;
  HDC windowDC = GetDC(window);
  HDC memoryDC = CreateCompatibleDC(windowDC);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(windowDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memoryDC, dib);
  BitBlt(memoryDC, 0, 0, width, height, windowDC, 0, 0, SRCCOPY);
  GdiFlush();
  const auto* pixels = static_cast<const uint32_t*>(bits);
  for (int i = 0; i < width * height; ++i) {
    rgb.push_back(static_cast<unsigned char>(pixels[i] >> 16));
    rgb.push_back(static_cast<unsigned char>(pixels[i] >> 8));
    rgb.push_back(static_cast<unsigned char>(pixels[i]));
  }
  SelectObject(memoryDC, previous);
  DeleteObject(dib);
  DeleteDC(memoryDC);
  ReleaseDC(window, windowDC);
  return rgb;
}

bool writePpm(const std::string& path, HWND window) {
  int width = 0, height = 0;
  const std::vector<unsigned char> rgb = capture(window, width, height);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  std::fprintf(file, "P6\n%d %d\n255\n", width, height);
  std::fwrite(rgb.data(), 1, rgb.size(), file);
  return std::fclose(file) == 0;
}

std::string edits(const vsthost::Plugin& plugin) {
  std::string out;
  char text[64];
  for (const auto& c : plugin.calls()) {
    if (c.opcode == audioMasterBeginEdit)
      std::snprintf(text, sizeof text, "begin %d", c.index);
    else if (c.opcode == audioMasterEndEdit)
      std::snprintf(text, sizeof text, "end %d", c.index);
    else if (c.opcode == audioMasterAutomate)
      std::snprintf(text, sizeof text, "automate %d %.6f", c.index, static_cast<double>(c.opt));
    else
      continue;
    out += out.empty() ? text : std::string(" | ") + text;
  }
  return out.empty() ? "none" : out;
}

LPARAM point(int x, int y) {
  return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)),
                    static_cast<WORD>(static_cast<short>(y)));
}

void perform(vsthost::Plugin& plugin, HWND panel, const editorscript::Action& action) {
  using editorscript::Step;
  const WPARAM modifiers = (action.modifiers & editorscript::kWithControl) ? MK_CONTROL : 0;
  switch (action.step) {
  case Step::Press:
    SendMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON | modifiers, point(action.x, action.y));
    std::printf("  after press: mouse captured by the panel %d, keyboard focus on the panel %d\n",
                GetCapture() == panel, GetFocus() == panel);
    break;
  case Step::Move:
    SendMessageW(panel, WM_MOUSEMOVE, MK_LBUTTON | modifiers, point(action.x, action.y));
    break;
  case Step::Release:
    SendMessageW(panel, WM_LBUTTONUP, modifiers, point(action.x, action.y));
    std::printf("  after release: mouse captured by the panel %d\n", GetCapture() == panel);
    break;
  case Step::Wheel: {
    POINT screen{action.x, action.y};
    ClientToScreen(panel, &screen);
    const auto delta = static_cast<short>(action.wheel * WHEEL_DELTA);
    SendMessageW(panel, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), point(screen.x, screen.y));
    break;
  }
  case Step::Key: {
    const WPARAM key = action.key == editorscript::kTab ? VK_TAB : VK_RETURN;
    SendMessageW(panel, WM_KEYDOWN, key, 1);
    SendMessageW(panel, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
    break;
  }
  case Step::HostKey: {
    const VstIntPtr virt = action.key == editorscript::kTab ? 2 : 4; // VKEY_TAB, VKEY_RETURN
    const VstIntPtr used = plugin.dispatch(effEditKeyDown, 0, virt, nullptr, 0.0f);
    plugin.dispatch(effEditKeyUp, 0, virt, nullptr, 0.0f);
    std::printf("  host key used %d\n", static_cast<int>(used));
    break;
  }
  }
  pumpMessages();
}

// Memory and GDI objects in use by the process.
struct Usage {
  double megabytes;
  unsigned gdiObjects;
  unsigned userObjects;
};

Usage usage() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return {static_cast<double>(counters.PagefileUsage) / 1048576.0,
          static_cast<unsigned>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)),
          static_cast<unsigned>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS))};
}

bool frameClassRegistered(HMODULE module) {
  WNDCLASSEXW description{};
  description.cbSize = sizeof description;
  return GetClassInfoExW(module, L"OmbrineFrame", &description) != 0;
}

int run(const std::string& modulePath, const std::string& outDir) {
  std::string error;
  auto module = vsthost::Module::load(modulePath, &error);
  if (!module) {
    std::fprintf(stderr, "ombrine-editor-probe: %s\n", error.c_str());
    return 1;
  }
  HMODULE dll = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     static_cast<LPCSTR>(module->symbol("VSTPluginMain")), &dll);
  // Under wine the first window of a session may come before the desktop is ready.
  HWND host = nullptr;
  for (int attempt = 0; attempt < 20 && !host; ++attempt) {
    host = createHostWindow();
    if (!host) {
      std::fprintf(stderr, "host window attempt %d failed (error %lu)\n", attempt + 1,
                   static_cast<unsigned long>(GetLastError()));
      Sleep(250);
      pumpMessages();
    }
  }
  if (!host) {
    std::printf("no host window (error %lu)\n", static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  pumpMessages();
  auto plugin = std::make_unique<vsthost::Plugin>(*module);
  if (!plugin->valid()) return 1;
  std::fflush(stdout);

  ERect* rect = nullptr;
  plugin->dispatch(effEditGetRect, 0, 0, &rect);
  if (rect) std::printf("rect %d %d %d %d\n", rect->top, rect->left, rect->bottom, rect->right);
  std::printf("open %d\n", static_cast<int>(plugin->dispatch(effEditOpen, 0, 0, host)));
  HWND panel = GetWindow(host, GW_CHILD);
  RECT client{};
  GetClientRect(panel, &client);
  std::printf("children %d, panel %ldx%ld, visible %d\n", childCount(host), client.right,
              client.bottom, IsWindowVisible(panel) ? 1 : 0);
  pumpMessages();
  plugin->dispatch(effEditIdle);
  pumpMessages();
  std::printf("capture init %d\n", writePpm(outDir + "/init.ppm", panel));

  // Host automation: nothing changes on screen before the next idle.
  int width = 0, height = 0;
  const std::vector<unsigned char> before = capture(panel, width, height);
  for (int i = 0; i < 13; ++i)
    plugin->setParameter(i, editorscript::kAutomatedValues[static_cast<std::size_t>(i)]);
  std::printf("unchanged before idle %d\n", capture(panel, width, height) == before);
  plugin->dispatch(effEditIdle);
  pumpMessages();
  std::printf("capture automated %d\n", writePpm(outDir + "/automated.ppm", panel));
  std::printf("automation sent to the host: %s\n", edits(*plugin).c_str());

  for (const auto& gesture : editorscript::gestures()) {
    plugin->clearCalls();
    std::printf("gesture %s\n", gesture.name);
    for (const auto& action : gesture.actions)
      perform(*plugin, panel, action);
    std::printf("  host: %s\n", edits(*plugin).c_str());
    plugin->dispatch(effEditIdle);
    pumpMessages();
  }
  std::printf("capture gestures %d\n", writePpm(outDir + "/gestures.ppm", panel));
  std::fflush(stdout);

  plugin->dispatch(effEditClose);
  pumpMessages();
  std::printf("after close: children %d, frame class registered %d\n", childCount(host),
              frameClassRegistered(dll));

  // Open/close cycles: a first one for one-time set-up, then the counted ones.
  plugin->dispatch(effEditOpen, 0, 0, host);
  plugin->dispatch(effEditIdle);
  pumpMessages();
  plugin->dispatch(effEditClose);
  pumpMessages();
  const Usage start = usage();
  int failedCycles = 0;
  for (int cycle = 0; cycle < editorscript::kOpenCloseCycles; ++cycle) {
    const bool opened = plugin->dispatch(effEditOpen, 0, 0, host) == 1;
    pumpMessages();
    plugin->dispatch(effEditIdle);
    pumpMessages();
    const bool oneChild = childCount(host) == 1;
    plugin->dispatch(effEditClose);
    pumpMessages();
    if (!opened || !oneChild || childCount(host) != 0) {
      ++failedCycles;
      std::printf("cycle %d: opened %d, children while open %d, after close %d\n", cycle, opened,
                  oneChild ? 1 : 0, childCount(host));
    }
  }
  const Usage after = usage();
  std::printf("cycles %d failed %d, children %d, frame class registered %d\n",
              editorscript::kOpenCloseCycles, failedCycles, childCount(host),
              frameClassRegistered(dll));
  std::printf("memory %.1f MB, growth over the cycles %.1f MB\n", start.megabytes,
              after.megabytes - start.megabytes);
  std::printf("gdi objects %u -> %u, user objects %u -> %u\n", start.gdiObjects, after.gdiObjects,
              start.userObjects, after.userObjects);

  // A host may close the effect with its editor open.
  plugin->dispatch(effEditOpen, 0, 0, host);
  plugin->dispatch(effEditIdle);
  pumpMessages();
  plugin->close();
  pumpMessages();
  std::printf("effect closed with the editor open: children %d\n", childCount(host));
  plugin.reset();
  DestroyWindow(host);
  pumpMessages();
  module.reset();
  std::printf("done\n");
  std::fflush(stdout);
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc != 3) {
    std::fprintf(stderr, "usage: ombrine-editor-probe MODULE OUTDIR\n");
    return 2;
  }
  return run(argv[1], argv[2]);
}
