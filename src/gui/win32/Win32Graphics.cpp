#include "gui/win32/Win32Graphics.h"

#include "gui/CBitmap.h"

#include <cmath>
#include <cstring>
#include <mutex>
#include <shlwapi.h>
#include <string>

namespace VSTGUI {
namespace {

struct GdiplusState {
  std::mutex mutex;
  int users = 0;
  ULONG_PTR token = 0;
};

GdiplusState& gdiplusState() {
  static GdiplusState state;
  return state;
}

bool looksLikePng(const unsigned char* data, std::size_t size) {
  static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return size >= sizeof signature && std::memcmp(data, signature, sizeof signature) == 0;
}

bool looksLikeBmp(const unsigned char* data, std::size_t size) {
  return size >= 54 && data[0] == 'B' && data[1] == 'M';
}

INT pixel(CCoord c) { return static_cast<INT>(std::lround(c)); }

Gdiplus::Color gdiplusColor(const CColor& c) {
  return Gdiplus::Color(c.alpha, c.red, c.green, c.blue);
}

std::wstring wide(const char* text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), length);
  out.resize(static_cast<std::size_t>(length - 1));
  return out;
}

} // namespace

namespace gdiplus {

void acquire() {
  GdiplusState& state = gdiplusState();
  std::lock_guard lock(state.mutex);
  if (state.users++ == 0) {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&state.token, &input, nullptr) != Gdiplus::Ok) state.token = 0;
  }
}

void release() {
  GdiplusState& state = gdiplusState();
  std::lock_guard lock(state.mutex);
  if (state.users == 0) return;
  if (--state.users == 0 && state.token) {
    Gdiplus::GdiplusShutdown(state.token);
    state.token = 0;
  }
}

bool running() {
  GdiplusState& state = gdiplusState();
  std::lock_guard lock(state.mutex);
  return state.token != 0;
}

} // namespace gdiplus

namespace platform {

std::unique_ptr<IPlatformBitmap> decodeImage(const unsigned char* data, std::size_t size) {
  // The same formats as on Linux, recognised from the content.
  if (!data || size == 0 || size > 0xFFFFFFFFu) return nullptr;
  if (!looksLikePng(data, size) && !looksLikeBmp(data, size)) return nullptr;
  if (!gdiplus::running()) return nullptr;
  IStream* stream = SHCreateMemStream(data, static_cast<UINT>(size));
  if (!stream) return nullptr;
  Gdiplus::Bitmap* bitmap = Gdiplus::Bitmap::FromStream(stream);
  if (!bitmap || bitmap->GetLastStatus() != Gdiplus::Ok || bitmap->GetWidth() == 0 ||
      bitmap->GetHeight() == 0) {
    delete bitmap;
    stream->Release();
    return nullptr;
  }
  return std::make_unique<Win32Bitmap>(stream, bitmap);
}

} // namespace platform

Win32Bitmap::~Win32Bitmap() {
  delete bitmap;
  stream->Release();
}

void Win32DrawContext::drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset,
                                  float alpha) {
  auto* platformBitmap = bitmap ? static_cast<Win32Bitmap*>(bitmap->getPlatformBitmap()) : nullptr;
  if (!platformBitmap || dest.isEmpty() || alpha <= 0.0f) return;
  // The part of the image that lands inside dest, in image pixels: nothing is
  // drawn outside the image (GDI+ would otherwise stretch its edge).
  CRect source(offset.x, offset.y, offset.x + dest.getWidth(), offset.y + dest.getHeight());
  source.bound(CRect(0, 0, platformBitmap->getWidth(), platformBitmap->getHeight()));
  if (source.isEmpty()) return;
  const Gdiplus::Rect target(pixel(dest.left + source.left - offset.x),
                             pixel(dest.top + source.top - offset.y), pixel(source.getWidth()),
                             pixel(source.getHeight()));
  Gdiplus::ImageAttributes attributes;
  Gdiplus::ImageAttributes* withAlpha = nullptr;
  if (alpha < 1.0f) {
    Gdiplus::ColorMatrix matrix = {
        {{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, alpha, 0}, {0, 0, 0, 0, 1}}};
    attributes.SetColorMatrix(&matrix);
    withAlpha = &attributes;
  }
  graphics->DrawImage(platformBitmap->get(), target, pixel(source.left), pixel(source.top),
                      pixel(source.getWidth()), pixel(source.getHeight()), Gdiplus::UnitPixel,
                      withAlpha);
}

void Win32DrawContext::drawRect(const CRect& rect, CDrawStyle style) {
  if (rect.isEmpty()) return;
  if (style != kDrawStroked && fillColor.alpha) {
    Gdiplus::SolidBrush brush(gdiplusColor(fillColor));
    graphics->FillRectangle(&brush, pixel(rect.left), pixel(rect.top), pixel(rect.getWidth()),
                            pixel(rect.getHeight()));
  }
  if (style != kDrawFilled && frameColor.alpha) {
    // One-pixel lines on the rectangle's edge pixels: pixel centres are at
    // half-pixel positions (the graphics use the half-pixel offset).
    Gdiplus::Pen pen(gdiplusColor(frameColor), 1.0f);
    graphics->DrawRectangle(&pen, static_cast<Gdiplus::REAL>(rect.left + 0.5),
                            static_cast<Gdiplus::REAL>(rect.top + 0.5),
                            static_cast<Gdiplus::REAL>(rect.getWidth() - 1.0),
                            static_cast<Gdiplus::REAL>(rect.getHeight() - 1.0));
  }
}

void Win32DrawContext::drawString(const char* text, const CRect& rect, CHoriTxtAlign align) {
  if (!text || !*text || rect.isEmpty() || !fontColor.alpha) return;
  const std::wstring name = wide(font ? font->getName().c_str() : "Arial");
  INT style = Gdiplus::FontStyleRegular;
  if (font && (font->getStyle() & kBoldFace)) style |= Gdiplus::FontStyleBold;
  if (font && (font->getStyle() & kItalicFace)) style |= Gdiplus::FontStyleItalic;
  Gdiplus::Font gdiFont(name.c_str(), static_cast<Gdiplus::REAL>(font ? font->getSize() : 12.0),
                        style, Gdiplus::UnitPixel);
  if (gdiFont.GetLastStatus() != Gdiplus::Ok) return;
  Gdiplus::StringFormat format;
  format.SetAlignment(align == kLeftText    ? Gdiplus::StringAlignmentNear
                      : align == kRightText ? Gdiplus::StringAlignmentFar
                                            : Gdiplus::StringAlignmentCenter);
  format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
  format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
  Gdiplus::SolidBrush brush(gdiplusColor(fontColor));
  const std::wstring string = wide(text);
  const Gdiplus::RectF layout(
      static_cast<Gdiplus::REAL>(rect.left), static_cast<Gdiplus::REAL>(rect.top),
      static_cast<Gdiplus::REAL>(rect.getWidth()), static_cast<Gdiplus::REAL>(rect.getHeight()));
  graphics->SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
  graphics->DrawString(string.c_str(), static_cast<INT>(string.size()), &gdiFont, layout, &format,
                       &brush);
}

Win32BackBuffer::Win32BackBuffer(int32_t width, int32_t height)
    : width(width > 0 ? width : 0), height(height > 0 ? height : 0) {
  if (this->width == 0 || this->height == 0) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = this->width;
  info.bmiHeader.biHeight = -this->height; // top-down rows, like PixelImage
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dib || !bits) {
    if (dib) DeleteObject(dib);
    dib = nullptr;
    return;
  }
  pixels = static_cast<uint32_t*>(bits);
  memoryDC = CreateCompatibleDC(nullptr);
  previousBitmap = SelectObject(memoryDC, dib);
  surface = new Gdiplus::Bitmap(this->width, this->height, this->width * 4, PixelFormat32bppPARGB,
                                static_cast<BYTE*>(bits));
}

Win32BackBuffer::~Win32BackBuffer() {
  end();
  delete surface;
  if (memoryDC) {
    SelectObject(memoryDC, previousBitmap);
    DeleteDC(memoryDC);
  }
  if (dib) DeleteObject(dib);
}

CDrawContext* Win32BackBuffer::begin(const CRect& area) {
  end();
  if (!surface) return nullptr;
  graphics = new Gdiplus::Graphics(surface);
  graphics->SetClip(Gdiplus::Rect(pixel(area.left), pixel(area.top), pixel(area.getWidth()),
                                  pixel(area.getHeight())));
  // Start from nothing: views with transparent parts must not blend over
  // what the area showed before.
  graphics->Clear(Gdiplus::Color(0, 0, 0, 0));
  // Whole-pixel placement: film-strip frames are copied pixel for pixel,
  // without blending in the edge of the neighbouring frame.
  graphics->SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
  graphics->SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  graphics->SetCompositingMode(Gdiplus::CompositingModeSourceOver);
  graphics->SetSmoothingMode(Gdiplus::SmoothingModeNone);
  context = new Win32DrawContext(graphics);
  return context;
}

void Win32BackBuffer::end() {
  delete context;
  context = nullptr;
  if (graphics) {
    graphics->Flush(Gdiplus::FlushIntentionSync);
    delete graphics;
    graphics = nullptr;
  }
}

void Win32BackBuffer::copyTo(HDC target, const RECT& area) const {
  if (!memoryDC) return;
  GdiFlush();
  BitBlt(target, area.left, area.top, area.right - area.left, area.bottom - area.top, memoryDC,
         area.left, area.top, SRCCOPY);
}

PixelImage Win32BackBuffer::copyImage() const {
  PixelImage image;
  image.width = pixels ? width : 0;
  image.height = pixels ? height : 0;
  if (!pixels) return image;
  GdiFlush();
  image.pixels.assign(pixels, pixels + static_cast<std::size_t>(width) * height);
  return image;
}

} // namespace VSTGUI
