// The layout reader: what it keeps, what it drops, and how it says so.
#include <gtest/gtest.h>

#include <string>

#include "layoutdoc.h"
#include "uidiag.h"

using namespace brixui;

namespace {

bool Read(const std::string& xml, LayoutNode& root, const std::string& rootTag = "Window") {
  return ReadLayout("Layout/Layout.xml", reinterpret_cast<const uint8_t*>(xml.data()), xml.size(), rootTag, root);
}

}  // namespace

TEST(LayoutDoc, KeepsElementsAttributesAndPositions) {
  DiagCollector diag;
  LayoutNode root;
  ASSERT_TRUE(Read("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                   "<Window size=\"640,500\">\n"
                   "  <VerticalLayout name=\"V\">\n"
                   "    <Button name=\"B\" text=\"\xE5\xBF\xAB\" width=\"80\"/>\n"
                   "  </VerticalLayout>\n"
                   "</Window>\n",
                   root));
  EXPECT_TRUE(diag.Reports().empty()) << diag.All();
  ASSERT_EQ(1u, root.children.size());
  const LayoutNode& v = root.children[0];
  EXPECT_EQ("VerticalLayout", v.tag);
  EXPECT_EQ(3, v.line);
  ASSERT_EQ(1u, v.children.size());
  EXPECT_EQ(4, v.children[0].line);
  EXPECT_EQ(5, v.children[0].column);
  ASSERT_NE(nullptr, v.children[0].Find("text"));
  EXPECT_EQ("\xE5\xBF\xAB", *v.children[0].Find("text"));
}

TEST(LayoutDoc, MalformedXmlNamesFileLineAndColumn) {
  DiagCollector diag;
  LayoutNode root;
  EXPECT_FALSE(Read("<Window>\n  <Label text=\"a\">\n</Window>\n", root));
  ASSERT_EQ(1u, diag.Reports().size());
  const DiagReport& r = diag.Reports()[0];
  EXPECT_EQ("Layout/Layout.xml", r.file);
  EXPECT_EQ(3, r.line);
  EXPECT_GT(r.column, 0);
  EXPECT_NE(std::string::npos, r.what.find("malformed XML")) << r.what;
}

TEST(LayoutDoc, WrongRootAndEmptyDocument) {
  DiagCollector diag;
  LayoutNode root;
  EXPECT_FALSE(Read("<Fonts/>", root));
  EXPECT_TRUE(diag.Saw("Layout/Layout.xml(1,1): root element is <Fonts>, expected <Window>")) << diag.All();
  EXPECT_FALSE(Read("", root));
  EXPECT_FALSE(Read("\xEF\xBB\xBF", root));
}

TEST(LayoutDoc, UnknownElementsAttributesAndBadValuesAreDroppedWithAReport) {
  DiagCollector diag;
  LayoutNode root;
  ASSERT_TRUE(Read("<Window>\n"
                   " <HorizontalLayout>\n"
                   "  <Label size=\"abc\" text=\"kept\" colour=\"red\"/>\n"
                   "  <Label textcolor=\"#GG0000\" visible=\"perhaps\" align=\"middle\"/>\n"
                   "  <Button><Label/></Button>\n"
                   " </HorizontalLayout>\n"
                   "</Window>",
                   root));
  const LayoutNode& row = root.children.at(0);
  const LayoutNode& label = row.children.at(0);
  EXPECT_EQ(nullptr, label.Find("size"));
  EXPECT_EQ(nullptr, label.Find("colour"));
  ASSERT_NE(nullptr, label.Find("text"));
  EXPECT_TRUE(row.children.at(1).attrs.empty());
  EXPECT_TRUE(row.children.at(2).children.empty());
  EXPECT_TRUE(diag.Saw("Layout/Layout.xml(3,3): attribute \"size\" of <Label>: bad value \"abc\", expected \"width,height\""))
      << diag.All();
  EXPECT_TRUE(diag.Saw("(3,3): unknown attribute \"colour\" on <Label>")) << diag.All();
  EXPECT_TRUE(diag.Saw("(4,3): attribute \"textcolor\"")) << diag.All();
  EXPECT_TRUE(diag.Saw("attribute \"visible\"")) << diag.All();
  EXPECT_TRUE(diag.Saw("attribute \"align\"")) << diag.All();
  EXPECT_TRUE(diag.Saw("(5,11): <Button> takes no child elements")) << diag.All();
}

TEST(LayoutDoc, AttributeNamesIgnoreCase) {
  DiagCollector diag;
  LayoutNode root;
  ASSERT_TRUE(Read("<Window><VerticalLayout Tag=\"2000\" BkImage=\"Image/InstallBk0.png\"/></Window>", root));
  EXPECT_TRUE(diag.Reports().empty()) << diag.All();
  ASSERT_NE(nullptr, root.children.at(0).Find("tag"));
  EXPECT_EQ("2000", *root.children[0].Find("tag"));
  EXPECT_EQ("Image/InstallBk0.png", *root.children[0].Find("bkimage"));
}

TEST(LayoutDoc, UnknownElementsAreKeptForTheBuilderToDecide) {
  DiagCollector diag;
  LayoutNode root;
  ASSERT_TRUE(Read("<Window><Gauge needle=\"3\"/></Window>", root));
  ASSERT_EQ(1u, root.children.size());
  EXPECT_FALSE(root.children[0].known);
  EXPECT_EQ("3", *root.children[0].Find("needle"));
}

TEST(LayoutDoc, NestingDeeperThan64LevelsIsCutThere) {
  std::string xml = "<Window>";
  for (int i = 0; i < 100; ++i) xml += "<VerticalLayout>";
  for (int i = 0; i < 100; ++i) xml += "</VerticalLayout>";
  xml += "</Window>";
  DiagCollector diag;
  LayoutNode root;
  ASSERT_TRUE(Read(xml, root));
  int depth = 1;
  for (const LayoutNode* n = &root; !n->children.empty(); n = &n->children[0]) ++depth;
  EXPECT_EQ(kMaxLayoutDepth, depth);
  ASSERT_EQ(1u, diag.Reports().size());
  EXPECT_TRUE(diag.Saw("nests deeper than 64 levels")) << diag.All();
}

TEST(LayoutDoc, FontFile) {
  DiagCollector diag;
  LayoutNode root;
  ASSERT_TRUE(Read("<Fonts><Font id=\"1\" name=\"Microsoft YaHei\" size=\"18\" bold=\"true\"/>"
                   "<Font id=\"0\" size=\"12\" default=\"true\" italic=\"1\" underline=\"yes\"/>"
                   "<Font id=\"x\"/><Label/></Fonts>",
                   root, "Fonts"));
  const auto fonts = FontsOf(root);
  ASSERT_EQ(3u, fonts.size());
  EXPECT_EQ(1, fonts[0].id);
  EXPECT_EQ("Microsoft YaHei", fonts[0].face);
  EXPECT_EQ(18, fonts[0].size);
  EXPECT_TRUE(fonts[0].bold);
  EXPECT_TRUE(fonts[1].isDefault && fonts[1].italic && fonts[1].underline);
  EXPECT_TRUE(diag.Saw("attribute \"id\" of <Font>: bad value \"x\"")) << diag.All();
  EXPECT_TRUE(diag.Saw("<Label> in a font file (dropped)")) << diag.All();
}

TEST(AttrValue, Parsers) {
  Size2 s;
  EXPECT_TRUE(ParseSize(" 640 , 500 ", s));
  EXPECT_EQ(640, s.cx);
  EXPECT_FALSE(ParseSize("640", s));
  EXPECT_FALSE(ParseSize("abc", s));
  EXPECT_FALSE(ParseSize("1,2,3", s));
  Insets in;
  EXPECT_TRUE(ParseInsetsOrInt("3", in));
  EXPECT_EQ((Insets{3, 3, 3, 3}), in);
  EXPECT_TRUE(ParseInsets("1,2,3,4", in));
  EXPECT_EQ((Insets{1, 2, 3, 4}), in);
  EXPECT_FALSE(ParseInsets("1,2,,4", in));
  uint32_t c = 0;
  EXPECT_TRUE(ParseColor("#FF1FC880", c));
  EXPECT_EQ(0xFF1FC880u, c);
  EXPECT_TRUE(ParseColor("#1FC880", c));
  EXPECT_EQ(0xFF1FC880u, c);
  EXPECT_TRUE(ParseColor("0x801FC880", c));
  EXPECT_EQ(0x801FC880u, c);
  EXPECT_FALSE(ParseColor("1FC880", c));
  EXPECT_FALSE(ParseColor("#12345", c));
  int i;
  EXPECT_FALSE(ParseInt("99999999999", i));
  ImageRef r;
  EXPECT_TRUE(ParseImageRef("file='Image/a.png' source='0,0,10,10' corner='2,2,2,2' fade='128'", r));
  EXPECT_EQ("Image/a.png", r.file);
  EXPECT_TRUE(r.hasSource);
  EXPECT_EQ(2, r.corner.left);
  EXPECT_EQ(128, r.fade);
  std::string why;
  EXPECT_FALSE(ParseImageRef("file='a.png' corner='1'", r, &why));
  EXPECT_NE(std::string::npos, why.find("bad corner"));
  EXPECT_FALSE(ParseImageRef("file='a.png' fade='300'", r));
  EXPECT_FALSE(ParseImageRef("file='a.png", r));
}
