// Images made here with libwebp's encoder (so the repository holds none):
// animated WebP frames playing on the control's own timer, and the
// nine-grid, source rectangle and fade of image references.
#include <gtest/gtest.h>

#include <webp/encode.h>

#include "toolkittest.h"
#include "imagedecode.h"
#include "uidiag.h"

using namespace brixui;

namespace {

void Put24(std::string& s, uint32_t v) {
  for (int i = 0; i < 3; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
std::string Chunk(const char* fourcc, const std::string& payload) {
  std::string c(fourcc, 4);
  Put32(c, static_cast<uint32_t>(payload.size()));
  c += payload;
  if (payload.size() % 2) c += '\0';
  return c;
}

// A still lossless frame of one colour, as the VP8L chunk of its file.
std::string Frame(int w, int h, uint32_t rgba) {
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < px.size(); i += 4) {
    px[i] = rgba >> 24;
    px[i + 1] = (rgba >> 16) & 0xFF;
    px[i + 2] = (rgba >> 8) & 0xFF;
    px[i + 3] = rgba & 0xFF;
  }
  uint8_t* out = nullptr;
  const size_t n = WebPEncodeLosslessRGBA(px.data(), w, h, w * 4, &out);
  std::string file(reinterpret_cast<char*>(out), n);
  WebPFree(out);
  return file.substr(12);  // after "RIFF", size, "WEBP"
}

// A still lossless image: a `border` wide frame of one colour round another.
std::string Framed(int size, int border, uint32_t outer, uint32_t inner) {
  std::vector<uint8_t> px(static_cast<size_t>(size) * size * 4);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const bool edge = x < border || y < border || x >= size - border || y >= size - border;
      const uint32_t c = edge ? outer : inner;
      uint8_t* p = &px[(static_cast<size_t>(y) * size + x) * 4];
      p[0] = c >> 24;
      p[1] = (c >> 16) & 0xFF;
      p[2] = (c >> 8) & 0xFF;
      p[3] = c & 0xFF;
    }
  uint8_t* out = nullptr;
  const size_t n = WebPEncodeLosslessRGBA(px.data(), size, size, size * 4, &out);
  std::string file(reinterpret_cast<char*>(out), n);
  WebPFree(out);
  return file;
}

std::string Animation(int w, int h, const std::vector<uint32_t>& colours, int delayMs) {
  std::string vp8x;
  vp8x += static_cast<char>(0x02 | 0x10);  // animation, alpha
  vp8x += std::string(3, '\0');
  Put24(vp8x, w - 1);
  Put24(vp8x, h - 1);
  std::string anim;
  Put32(anim, 0);
  anim += std::string(2, '\0');  // loop for ever
  std::string body = "WEBP" + Chunk("VP8X", vp8x) + Chunk("ANIM", anim);
  for (uint32_t c : colours) {
    std::string f;
    Put24(f, 0);
    Put24(f, 0);
    Put24(f, w - 1);
    Put24(f, h - 1);
    Put24(f, delayMs);
    f += static_cast<char>(0x02);  // do not blend
    f += Frame(w, h, c);
    body += Chunk("ANMF", f);
  }
  std::string file = "RIFF";
  Put32(file, static_cast<uint32_t>(body.size()));
  return file + body;
}

class AnimWindow : public WindowImplBase {
 protected:
  LPCWSTR WindowClassName() const override { return L"BrixUIAnimWindow"; }
  std::wstring SkinFile() override { return L"Layout/Layout.xml"; }
};

}  // namespace

TEST(Animation, WebPFramesDecodeWithTheirDelays) {
  const std::string webp = Animation(8, 6, {0xFF0000FF, 0x0000FFFF, 0x00FF00FF}, 70);
  DecodedImage img;
  ASSERT_TRUE(DecodeImage("a.webp", reinterpret_cast<const uint8_t*>(webp.data()), webp.size(), img));
  ASSERT_EQ(3u, img.frames.size());
  EXPECT_EQ(8, img.frames[0].width);
  EXPECT_EQ(70, img.delaysMs[1]);
  EXPECT_EQ(255, img.frames[1].rgba[2]);  // blue
  EXPECT_EQ(0, img.frames[1].rgba[0]);
  // Cut short: refused, not read past.
  DiagCollector diag;
  EXPECT_FALSE(DecodeImage("a.webp", reinterpret_cast<const uint8_t*>(webp.data()), webp.size() - 20, img));
  EXPECT_TRUE(diag.Saw("a.webp: ")) << diag.All();
}

TEST(Animation, AControlPlaysTheFramesOnItsTimer) {
  toolkittest::Session();
  const std::wstring dir = testsupport::MakeTempDir(L"uianim");
  CreateDirectoryW((dir + L"\\Layout").c_str(), nullptr);
  ASSERT_TRUE(testsupport::WriteFileBytes(dir + L"\\spin.webp", Animation(40, 40, {0xFF0000FF, 0x0000FFFF}, 60)));
  ASSERT_TRUE(testsupport::WriteFileBytes(dir + L"\\Layout\\Layout.xml",
      "<Window size=\"100,100\"><VerticalLayout><Control name=\"Spin\" bkimage=\"spin.webp\"/></VerticalLayout></Window>"));
  ASSERT_TRUE(CPaintManagerUI::SetResourceFolder(dir));
  {
    AnimWindow win;
    ASSERT_NE(nullptr, win.Create(nullptr, L"anim", WS_POPUP | WS_VISIBLE, 0, 700, 40, 100, 100));
    SetWindowPos(win.GetHWND(), HWND_TOPMOST, 700, 40, 0, 0, SWP_NOSIZE);
    win.GetPaintManager().SetDPI(96);
    POINT centre{50, 50};
    ClientToScreen(win.GetHWND(), &centre);
    bool red = false, blue = false;
    toolkittest::PumpUntil([&] {
      HDC dc = GetDC(nullptr);
      const COLORREF c = GetPixel(dc, centre.x, centre.y);
      ReleaseDC(nullptr, dc);
      red = red || c == RGB(255, 0, 0);
      blue = blue || c == RGB(0, 0, 255);
      return red && blue;
    }, 3000);
    EXPECT_TRUE(red);
    EXPECT_TRUE(blue);
    // The animation's timer is the control's own: no "timer" notification.
    EXPECT_EQ(1u, win.GetPaintManager().TimerCount());
    DestroyWindow(win.GetHWND());
  }
  CPaintManagerUI::Term();
  testsupport::RemoveTree(dir);
}

TEST(ImageRefs, NineGridSourceRectangleAndFadeAtTwoScales) {
  toolkittest::Session();
  const std::wstring dir = testsupport::MakeTempDir(L"uigrid");
  CreateDirectoryW((dir + L"\\Layout").c_str(), nullptr);
  ASSERT_TRUE(testsupport::WriteFileBytes(dir + L"\\grid.webp", Framed(12, 4, 0xFF0000FF, 0x0000FFFF)));
  ASSERT_TRUE(testsupport::WriteFileBytes(dir + L"\\Layout\\Layout.xml",
      "<Window size=\"120,150\" bkcolor=\"#FFFFFFFF\"><VerticalLayout>"
      "<Control name=\"Grid\" height=\"50\" bkimage=\"file='grid.webp' corner='4,4,4,4'\"/>"
      "<Control name=\"Src\" height=\"50\" bkimage=\"file='grid.webp' source='4,4,8,8'\"/>"
      "<Control name=\"Fade\" height=\"50\" bkimage=\"file='grid.webp' source='4,4,8,8' fade='128'\"/>"
      "</VerticalLayout></Window>"));
  ASSERT_TRUE(CPaintManagerUI::SetResourceFolder(dir));
  for (int dpi : {96, 144}) {
    CPaintManagerUI pm;
    CDialogBuilder builder;
    CControlUI* root = builder.Create(L"Layout/Layout.xml", nullptr, &pm);
    ASSERT_NE(nullptr, root);
    pm.SetDPI(dpi);
    pm.AttachDialog(root);
    std::vector<uint32_t> px;
    int w = 0, h = 0;
    ASSERT_TRUE(pm.RenderOffscreen(px, w, h));
    auto at = [&](int x, int y) { return px[static_cast<size_t>(y) * w + x] & 0xFFFFFF; };
    const RECT g = pm.FindControl(L"Grid")->GetPos();
    const int b = pm.Scale(4);
    // Corners and edges keep their width however far the middle stretches
    // (at 150 % the image is resampled, so its inner edge is soft).
    EXPECT_EQ(0xFF0000u, at(g.left + b / 2, (g.top + g.bottom) / 2)) << dpi;
    EXPECT_EQ(0xFF0000u, at((g.left + g.right) / 2, g.top + b / 2)) << dpi;
    EXPECT_EQ(0xFF0000u, at(g.right - 1 - b / 2, g.bottom - 1 - b / 2)) << dpi;
    EXPECT_EQ(0x0000FFu, at((g.left + g.right) / 2, (g.top + g.bottom) / 2)) << dpi;
    if (dpi == 96) {
      EXPECT_EQ(0x0000FFu, at(g.left + b, g.top + b));
    }
    // The source rectangle is the blue middle only.
    const RECT s = pm.FindControl(L"Src")->GetPos();
    EXPECT_EQ(0x0000FFu, at((s.left + s.right) / 2, (s.top + s.bottom) / 2)) << dpi;
    const uint32_t corner = at(s.left, s.top);
    EXPECT_LT((corner >> 16) & 0xFF, 0x90u) << dpi;  // never the red frame
    if (dpi == 96) {
      EXPECT_EQ(0x0000FFu, corner);
      EXPECT_EQ(0x0000FFu, at(s.right - 1, s.bottom - 1));
    }
    // Half faded over white.
    const RECT f = pm.FindControl(L"Fade")->GetPos();
    const uint32_t mixed = at((f.left + f.right) / 2, (f.top + f.bottom) / 2);
    EXPECT_NEAR(0x7F, (mixed >> 16) & 0xFF, 3) << dpi;
    EXPECT_EQ(0xFFu, mixed & 0xFF) << dpi;
  }
  CPaintManagerUI::Term();
  testsupport::RemoveTree(dir);
}

TEST(TextEffects, OutlineAndGlowDrawAroundTheText) {
  toolkittest::Session();
  CPaintManagerUI pm;
  auto* root = new CVerticalLayoutUI;
  root->SetBkColor(0xFFFFFFFF);
  auto* plain = new CLabelUI;
  plain->SetText(L"Quill \x5B89\x88C5");
  plain->SetFixedHeight(40);
  auto* outlined = new CLabelUI;
  outlined->SetText(L"Quill \x5B89\x88C5");
  outlined->SetFixedHeight(40);
  outlined->SetAttribute(L"outlinecolor", L"#FFFF0000");
  outlined->SetAttribute(L"outlinesize", L"2");
  auto* glowing = new CLabelUI;
  glowing->SetText(L"Quill \x5B89\x88C5");
  glowing->SetFixedHeight(40);
  glowing->SetAttribute(L"glowcolor", L"#FF00C000");
  glowing->SetAttribute(L"glowsize", L"4");
  root->Add(plain);
  root->Add(outlined);
  root->Add(glowing);
  pm.SetInitSize(200, 120);
  pm.AttachDialog(root);
  std::vector<uint32_t> px;
  int w = 0, h = 0;
  ASSERT_TRUE(pm.RenderOffscreen(px, w, h));
  auto count = [&](const RECT& r, auto pred) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) n += pred(px[static_cast<size_t>(y) * w + x] & 0xFFFFFF);
    return n;
  };
  auto reddish = [](uint32_t c) { return ((c >> 16) & 0xFF) > 180 && ((c >> 8) & 0xFF) < 90 && (c & 0xFF) < 90; };
  auto greenish = [](uint32_t c) { return ((c >> 8) & 0xFF) > 120 && ((c >> 16) & 0xFF) < 120 && (c & 0xFF) < 120; };
  auto dark = [](uint32_t c) { return ((c >> 16) & 0xFF) < 80 && ((c >> 8) & 0xFF) < 80 && (c & 0xFF) < 80; };
  EXPECT_GT(count(plain->GetPos(), dark), 20);
  EXPECT_EQ(0, count(plain->GetPos(), reddish));
  EXPECT_GT(count(outlined->GetPos(), reddish), 40);
  EXPECT_GT(count(outlined->GetPos(), dark), 5);  // the text itself inside
  EXPECT_GT(count(glowing->GetPos(), greenish), 40);
}
