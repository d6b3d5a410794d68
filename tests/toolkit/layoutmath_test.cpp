// Layout arithmetic and control behaviour without a window: an off-screen
// paint manager lays out and paints into memory.
#include <gtest/gtest.h>

#include "toolkittest.h"
#include "uidiag.h"

using namespace brixui;
using toolkittest::Recorder;

namespace {

::testing::AssertionResult RectIs(const RECT& r, int l, int t, int rr, int b) {
  if (r.left == l && r.top == t && r.right == rr && r.bottom == b) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom
                                       << "} expected {" << l << "," << t << "," << rr << "," << b << "}";
}

RECT Pos(CPaintManagerUI& pm, const wchar_t* name) {
  CControlUI* c = pm.FindControl(name);
  EXPECT_NE(nullptr, c) << "no control";
  return c ? c->GetPos() : RECT{};
}

uint32_t PixelAt(const std::vector<uint32_t>& px, int width, int x, int y) {
  return px[static_cast<size_t>(y) * width + x] & 0xFFFFFF;
}

CControlUI* BuildSkin(CPaintManagerUI& pm, int dpi) {
  toolkittest::Session();
  EXPECT_TRUE(toolkittest::UseSkinZip());
  CDialogBuilder builder;
  CControlUI* root = builder.Create(L"Layout/Layout.xml", nullptr, &pm);
  EXPECT_NE(nullptr, root) << testing::PrintToString(brix::WideToUtf8(builder.LastError()));
  pm.SetDPI(dpi);
  pm.AttachDialog(root);
  return root;
}

}  // namespace

TEST(LayoutMath, VerticalFixedAndFlexibleChildrenWithInsetPaddingAndDpi) {
  toolkittest::Session();
  CPaintManagerUI pm;
  pm.SetInitSize(400, 300);
  auto* root = new CVerticalLayoutUI;
  root->SetInset({10, 10, 10, 10});
  root->SetChildPadding(5);
  auto* a = new CLabelUI;
  a->SetFixedHeight(50);
  auto* b = new CControlUI;
  auto* c = new CButtonUI;
  c->SetFixedHeight(30);
  c->SetPadding({5, 0, 5, 0});
  root->Add(a);
  root->Add(b);
  root->Add(c);
  pm.AttachDialog(root);
  pm.LayoutTo({0, 0, 400, 300});
  EXPECT_TRUE(RectIs(a->GetPos(), 10, 10, 390, 60));
  EXPECT_TRUE(RectIs(b->GetPos(), 10, 65, 390, 255));
  EXPECT_TRUE(RectIs(c->GetPos(), 15, 260, 385, 290));

  // 144 DPI: every 96-DPI number times 1.5 (5 rounds to 8).
  pm.SetDPI(144);
  EXPECT_EQ(600, pm.ScaledInitSize().cx);
  pm.LayoutTo({0, 0, 600, 450});
  EXPECT_TRUE(RectIs(a->GetPos(), 15, 15, 585, 90));
  EXPECT_TRUE(RectIs(b->GetPos(), 15, 98, 585, 382));
  EXPECT_TRUE(RectIs(c->GetPos(), 23, 390, 577, 435));

  // A hidden child gives its space to the flexible one.
  a->SetVisible(false);
  pm.LayoutTo({0, 0, 600, 450});
  EXPECT_TRUE(RectIs(b->GetPos(), 15, 15, 585, 382));
}

TEST(LayoutMath, HorizontalMinMaxFixedWidthsAndFloat) {
  toolkittest::Session();
  CPaintManagerUI pm;
  auto* row = new CHorizontalLayoutUI;
  auto* fixed = new CLabelUI;
  fixed->SetFixedWidth(100);
  auto* capped = new CControlUI;
  capped->SetAttribute(L"maxwidth", L"50");
  auto* f1 = new CControlUI;
  auto* f2 = new CControlUI;
  f2->SetAttribute(L"height", L"20");  // fixed height, centred? no: top-aligned within the row
  auto* floating = new CButtonUI;
  floating->SetAttribute(L"pos", L"10,5,40,25");
  row->Add(fixed);
  row->Add(capped);
  row->Add(f1);
  row->Add(f2);
  row->Add(floating);
  pm.AttachDialog(row);
  pm.LayoutTo({0, 0, 400, 40});
  EXPECT_TRUE(RectIs(fixed->GetPos(), 0, 0, 100, 40));
  EXPECT_TRUE(RectIs(capped->GetPos(), 100, 0, 150, 40));
  EXPECT_TRUE(RectIs(f1->GetPos(), 150, 0, 275, 40));
  EXPECT_TRUE(RectIs(f2->GetPos(), 275, 0, 400, 20));
  EXPECT_TRUE(RectIs(floating->GetPos(), 10, 5, 40, 25));
  // Float children take no part in the flow, and are hit first.
  EXPECT_EQ(floating, pm.FindControl(POINT{20, 10}));
  EXPECT_EQ(fixed, pm.FindControl(POINT{60, 30}));
  // Too little room: fixed sizes stay, flexible ones get nothing.
  pm.LayoutTo({0, 0, 100, 40});
  EXPECT_TRUE(RectIs(fixed->GetPos(), 0, 0, 100, 40));
  EXPECT_EQ(0, f1->GetPos().right - f1->GetPos().left);
}

TEST(LayoutMath, TabLayoutShowsOneItemAndNotifiesOnRequest) {
  toolkittest::Session();
  CPaintManagerUI pm;
  Recorder rec;
  pm.AddNotifier(&rec);
  auto* tab = new CTabLayoutUI;
  auto* p0 = new CVerticalLayoutUI;
  auto* p1 = new CVerticalLayoutUI;
  auto* b1 = new CButtonUI;
  p1->Add(b1);
  tab->Add(p0);
  tab->Add(p1);
  pm.AttachDialog(tab);
  pm.LayoutTo({0, 0, 100, 100});
  EXPECT_TRUE(p0->IsVisible());
  EXPECT_FALSE(p1->IsVisible());
  EXPECT_FALSE(b1->IsEffectivelyVisible());
  EXPECT_EQ(AccRole::PropertyPage, p1->GetAccRole());
  EXPECT_EQ(AccRole::PageTabList, tab->GetAccRole());
  EXPECT_TRUE(tab->SelectItem(1, false));
  EXPECT_EQ(0u, rec.Count(L"tabselect"));
  EXPECT_TRUE(b1->IsEffectivelyVisible());
  EXPECT_FALSE(p0->IsVisible());
  EXPECT_TRUE(tab->SelectItem(p0, true));
  ASSERT_EQ(1u, rec.Count(L"tabselect"));
  EXPECT_EQ(0u, rec.events.back().wParam);
  EXPECT_EQ(1, rec.events.back().lParam);
  EXPECT_FALSE(tab->SelectItem(5));
  pm.RemoveNotifier(&rec);
}

TEST(LayoutMath, SkinAt96And144Dpi) {
  for (int dpi : {96, 144}) {
    CPaintManagerUI pm;
    BuildSkin(pm, dpi);
    pm.LayoutIfNeeded();
    const int k = dpi == 96 ? 2 : 3;  // coordinates below are halves
    EXPECT_TRUE(RectIs(Pos(pm, L"Caption"), 0, 0, 400 * k / 2, 40 * k / 2)) << dpi;
    EXPECT_TRUE(RectIs(Pos(pm, L"TabMain"), 0, 40 * k / 2, 400 * k / 2, 300 * k / 2)) << dpi;
    EXPECT_TRUE(RectIs(Pos(pm, L"Swatch"), 20 * k / 2, 50 * k / 2, 380 * k / 2, 80 * k / 2)) << dpi;
    EXPECT_TRUE(RectIs(Pos(pm, L"BtnClose"), 360 * k / 2, 0, 400 * k / 2, 40 * k / 2)) << dpi;
  }
}

TEST(LayoutMath, LookupsAndClassChecks) {
  CPaintManagerUI pm;
  CControlUI* root = BuildSkin(pm, 96);
  CControlUI* tab = pm.FindControl(L"TabMain");
  ASSERT_NE(nullptr, ControlCast<CTabLayoutUI>(tab));
  EXPECT_EQ(nullptr, ControlCast<CVerticalLayoutUI>(tab));
  EXPECT_TRUE(tab->IsClass(L"Container"));
  CControlUI* pageOne = pm.FindControl(L"PageOne");
  EXPECT_NE(nullptr, pm.FindSubControlByName(pageOne, L"BtnGo"));
  EXPECT_EQ(nullptr, pm.FindSubControlByName(pageOne, L"BtnBack"));
  EXPECT_EQ(3u, pm.FindSubControlsByClass(pageOne, L"Option").size());
  EXPECT_EQ(8u, pm.FindSubControlsByClass(root, L"Button").size());  // options are buttons too
  EXPECT_TRUE(pm.FindControl(L"BtnGo")->IsClass(L"Label"));
  EXPECT_EQ(std::wstring(L"Button"), pm.FindControl(L"BtnGo")->GetClass());
  EXPECT_NE(nullptr, ControlCast<CRichEditUI>(pm.FindControl(L"EditPath")));
  EXPECT_EQ(L"C:\\Quillon", pm.FindControl(L"EditPath")->GetText());
  EXPECT_EQ(nullptr, pm.FindControl(L"Nope"));
}

TEST(LayoutMath, OptionGroupsAndCheckBoxes) {
  CPaintManagerUI pm;
  BuildSkin(pm, 96);
  Recorder rec;
  pm.AddNotifier(&rec);
  auto* a = ControlCast<COptionUI>(pm.FindControl(L"RadioA"));
  auto* b = ControlCast<COptionUI>(pm.FindControl(L"RadioB"));
  auto* c = ControlCast<COptionUI>(pm.FindControl(L"CheckC"));
  ASSERT_TRUE(a && b && c);
  EXPECT_TRUE(a->IsSelected());
  b->Activate();
  EXPECT_TRUE(b->IsSelected());
  EXPECT_FALSE(a->IsSelected());
  EXPECT_EQ(1u, rec.Count(L"selectchanged", L"RadioA"));
  EXPECT_EQ(1u, rec.Count(L"selectchanged", L"RadioB"));
  EXPECT_EQ(1u, rec.Count(L"click", L"RadioB"));
  b->Activate();  // a radio stays selected
  EXPECT_TRUE(b->IsSelected());
  EXPECT_EQ(1u, rec.Count(L"selectchanged", L"RadioB"));
  c->Activate();
  EXPECT_TRUE(c->IsSelected());
  c->Activate();
  EXPECT_FALSE(c->IsSelected());
  EXPECT_EQ(2u, rec.Count(L"selectchanged", L"CheckC"));
  c->Selected(true, false);
  EXPECT_EQ(2u, rec.Count(L"selectchanged", L"CheckC"));
  EXPECT_EQ(AccRole::RadioButton, a->GetAccRole());
  EXPECT_EQ(AccRole::CheckButton, c->GetAccRole());
  // Disabled controls do nothing.
  CControlUI* off = pm.FindControl(L"BtnOff");
  off->Activate();
  EXPECT_EQ(0u, rec.Count(L"click", L"BtnOff"));
  pm.RemoveNotifier(&rec);
}

TEST(LayoutMath, ProgressRangeAndValue) {
  CPaintManagerUI pm;
  BuildSkin(pm, 96);
  auto* p = ControlCast<CProgressUI>(pm.FindControl(L"ProgressBar"));
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(0, p->GetMinValue());
  EXPECT_EQ(100, p->GetMaxValue());
  EXPECT_EQ(40, p->GetValue());
  p->SetValue(150);
  EXPECT_EQ(100, p->GetValue());
  p->SetValue(-3);
  EXPECT_EQ(0, p->GetValue());
  p->SetMaxValue(200);
  p->SetValue(50);
  EXPECT_EQ(L"25%", p->GetAccValue());
}

TEST(LayoutMath, OffscreenPaintPutsColoursAndScaledImagesInPlace) {
  // The logo exists at 100 % (red), 150 % (blue) and 200 % (green).
  const struct { int dpi; uint32_t logo; } cases[] = {
      {96, 0xFF0000}, {120, 0x0000FF}, {144, 0x0000FF}, {168, 0x00FF00}, {192, 0x00FF00}};
  for (const auto& c : cases) {
    CPaintManagerUI pm;
    BuildSkin(pm, c.dpi);
    std::vector<uint32_t> px;
    int w = 0, h = 0;
    ASSERT_TRUE(pm.RenderOffscreen(px, w, h));
    EXPECT_EQ(pm.Scale(400), w);
    const RECT sw = Pos(pm, L"Swatch");
    EXPECT_EQ(0x00C000u, PixelAt(px, w, (sw.left + sw.right) / 2, (sw.top + sw.bottom) / 2)) << c.dpi;
    const RECT logo = Pos(pm, L"Logo");
    EXPECT_EQ(pm.Scale(16), logo.right - logo.left);
    EXPECT_EQ(c.logo, PixelAt(px, w, (logo.left + logo.right) / 2, (logo.top + logo.bottom) / 2)) << c.dpi;
    // The caption colour around it.
    EXPECT_EQ(0x3366CCu, PixelAt(px, w, logo.left - 2, logo.top + 1)) << c.dpi;
  }
}

TEST(LayoutMath, CutTextGetsAnEllipsisAndATooltip) {
  CPaintManagerUI pm;
  BuildSkin(pm, 96);
  std::vector<uint32_t> px;
  int w, h;
  ASSERT_TRUE(pm.RenderOffscreen(px, w, h));
  CControlUI* cut = pm.FindControl(L"LongText");
  EXPECT_EQ(cut->GetText(), cut->EffectiveToolTip());
  CControlUI* fits = pm.FindControl(L"BtnGo");
  EXPECT_EQ(L"", fits->EffectiveToolTip());
  EXPECT_EQ(L"最小化", pm.FindControl(L"minbtn")->EffectiveToolTip());
  // A shorter text fits: no tooltip any more.
  cut->SetText(L"short");
  ASSERT_TRUE(pm.RenderOffscreen(px, w, h));
  EXPECT_EQ(L"", cut->EffectiveToolTip());
}

TEST(LayoutMath, BrokenLayoutGivesNoWindowAndSaysWhere) {
  toolkittest::Session();
  ASSERT_TRUE(toolkittest::UseSkinZip(L"broken.zip"));
  DiagCollector diag;
  CPaintManagerUI pm;
  CDialogBuilder builder;
  EXPECT_EQ(nullptr, builder.Create(L"Layout/Layout.xml", nullptr, &pm));
  EXPECT_NE(std::wstring::npos, builder.LastError().find(L"Layout/Layout.xml(5,")) << brix::WideToUtf8(builder.LastError());
  EXPECT_NE(std::wstring::npos, builder.LastError().find(L"malformed XML"));
  EXPECT_EQ(nullptr, builder.Create(L"Layout/Missing.xml", nullptr, &pm));
  EXPECT_NE(std::wstring::npos, builder.LastError().find(L"Layout/Missing.xml: no such entry"));
}

TEST(LayoutMath, MissingImagesAndUnknownElementsLeaveTheRestStanding) {
  toolkittest::Session();
  // A layout with a missing image, a bad value and an unknown element, read
  // from a skin folder written here.
  const std::wstring dir = testsupport::MakeTempDir(L"uiskin");
  CreateDirectoryW((dir + L"\\Layout").c_str(), nullptr);
  ASSERT_TRUE(testsupport::WriteFileBytes(dir + L"\\Layout\\Layout.xml",
      "<Window size=\"100,60\">\n<VerticalLayout>\n<Gauge/>\n<Label name=\"L\" height=\"abc\" bkimage=\"Image/none.png\" bkcolor=\"#FF0000FF\"/>\n</VerticalLayout>\n</Window>"));
  ASSERT_TRUE(CPaintManagerUI::SetResourceFolder(dir));
  DiagCollector diag;
  CPaintManagerUI pm;
  CDialogBuilder builder;
  CControlUI* root = builder.Create(L"Layout/Layout.xml", nullptr, &pm);
  ASSERT_NE(nullptr, root);
  pm.AttachDialog(root);
  std::vector<uint32_t> px;
  int w, h;
  ASSERT_TRUE(pm.RenderOffscreen(px, w, h));
  EXPECT_EQ(0x0000FFu, PixelAt(px, w, 50, 30));
  EXPECT_TRUE(diag.Saw("Layout/Layout.xml(3,1): unknown element <Gauge> (dropped)")) << diag.All();
  EXPECT_TRUE(diag.Saw("Layout/Layout.xml(4,1): attribute \"height\" of <Label>: bad value \"abc\"")) << diag.All();
  EXPECT_TRUE(diag.Saw("Image/none.png: image not found")) << diag.All();
  CPaintManagerUI::Term();
  testsupport::RemoveTree(dir);
}

TEST(LayoutMath, ARowOfDigitsBuiltInCode) {
  // As the completion view fills its number row: per character a fixed
  // 28 x 36 horizontal layout holding a 24 wide bordered, centred label.
  CPaintManagerUI pm;
  CControlUI* root = BuildSkin(pm, 144);
  auto* page = ControlCast<CContainerUI>(pm.FindControl(L"PageTwo"));
  ASSERT_NE(nullptr, page);
  auto* row = new CHorizontalLayoutUI;
  row->SetName(L"HorizNumber");
  row->SetFixedHeight(36);
  page->Add(row);
  const std::wstring digits = L"1342395";
  for (int round = 0; round < 2; ++round) {
    row->RemoveAll();
    for (wchar_t ch : digits) {
      auto* cell = new CHorizontalLayoutUI;
      cell->SetFixedWidth(28);
      cell->SetFixedHeight(36);
      auto* label = new CLabelUI;
      label->SetFixedWidth(24);
      label->SetText(std::wstring(1, ch));
      label->SetBorderRound({2, 2});
      label->SetBorderColor(0xFF1FC880);
      label->SetBorderSize({1, 1, 2, 2});
      label->SetAttribute(L"align", L"center");
      label->SetAttribute(L"valign", L"vcenter");
      label->SetFont(18);
      label->SetTextColor(0xFF1FC880);
      label->SetHAlign(HAlign::Center);
      cell->Add(label);
      row->Add(cell);
    }
  }
  EXPECT_EQ(7, row->GetCount());
  ControlCast<CTabLayoutUI>(pm.FindControl(L"TabMain"))->SelectItem(1, false);
  std::vector<uint32_t> px;
  int w = 0, h = 0;
  ASSERT_TRUE(pm.RenderOffscreen(px, w, h));
  const RECT first = ControlCast<CContainerUI>(row->GetItemAt(0))->GetItemAt(0)->GetPos();
  EXPECT_EQ(36, first.right - first.left);  // 24 at 150 %
  EXPECT_EQ(54, first.bottom - first.top);
  const RECT second = row->GetItemAt(1)->GetPos();
  EXPECT_EQ(first.left + 42, second.left);  // cells 28 wide
  EXPECT_EQ(0x1FC880u, PixelAt(px, w, first.left + 10, first.top));  // the top border
  (void)root;
}

TEST(LayoutMath, MonitorDpiRoundsDownToTheFiveScales) {
  EXPECT_EQ(72, NormaliseDpi(72));  // below 96 stays
  EXPECT_EQ(96, NormaliseDpi(96));
  EXPECT_EQ(96, NormaliseDpi(119));
  EXPECT_EQ(120, NormaliseDpi(120));
  EXPECT_EQ(120, NormaliseDpi(143));
  EXPECT_EQ(144, NormaliseDpi(150));
  EXPECT_EQ(168, NormaliseDpi(191));
  EXPECT_EQ(192, NormaliseDpi(192));
  EXPECT_EQ(192, NormaliseDpi(288));
  EXPECT_EQ(96, NormaliseDpi(0));
  // What this machine reports, rounded the same way.
  const int dpi = WindowDpi(nullptr);
  EXPECT_EQ(NormaliseDpi(dpi), dpi);
}
