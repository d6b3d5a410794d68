#pragma once
// The controls the installer window looks up in the skin, by name, with the
// toolkit class it keeps them as and the view they are looked up in, and the
// images it sets itself. Plain C++ so the packer's check tests a skin
// against the same table the window uses.
#include <cstddef>

namespace brix {
namespace skin {

// The layout the window is built from (WindowImplBase::SkinFile).
inline constexpr char kLayoutFile[] = "Layout/Layout.xml";

struct SkinControl {
  const char* name;
  const char* className;    // GetClass() name; a derived class also does
  const SkinControl* view;  // looked up inside it; null: anywhere
  bool required;            // false: the window does without (a feature is lost)
};

inline constexpr SkinControl kTabMain{"TabMain", "TabLayout", nullptr, true};
inline constexpr SkinControl kVertInitView{"VertInitView", "VerticalLayout", nullptr, true};
inline constexpr SkinControl kVertInstallView{"VertInstallView", "VerticalLayout", nullptr, true};
inline constexpr SkinControl kVertUpdateView{"VertUpdateView", "VerticalLayout", nullptr, false};
inline constexpr SkinControl kVertCompleteView{"VertCompleteView", "VerticalLayout", nullptr, true};
inline constexpr SkinControl kVertInfoTipView{"VertInfoTipView", "VerticalLayout", nullptr, false};
inline constexpr SkinControl kHorizNumber{"HorizNumber", "HorizontalLayout", &kVertCompleteView, false};
inline constexpr SkinControl kHorizCaptionBtn{"HorizCaptionBtn", "HorizontalLayout", nullptr, true};
inline constexpr SkinControl kEditInstallPath{"EditInstallPath", "RichEdit", &kVertInitView, true};
inline constexpr SkinControl kCheckDesktopLaunch{"CheckDesktopLaunch", "Option", &kVertInitView, false};
inline constexpr SkinControl kCheckAutoStartup{"CheckAutoStartup", "Option", &kVertInitView, false};
inline constexpr SkinControl kCheckLicence{"CheckLicence", "Option", &kVertInitView, false};
inline constexpr SkinControl kBtnInstall{"BtnInstall", "Button", &kVertInitView, true};
inline constexpr SkinControl kBtnStart{"BtnStart", "Button", &kVertCompleteView, true};
inline constexpr SkinControl kLabelTitleComplete{"LabelTitleComplete", "Label", &kVertCompleteView, true};
inline constexpr SkinControl kProgressInstall{"ProgressInstall", "Progress", &kVertInstallView, true};
inline constexpr SkinControl kLabelInstallValue{"LabelInstallValue", "Label", &kVertInstallView, false};
// Known only by the clicks they send.
inline constexpr SkinControl kBtnClose{"BtnClose", "Button", nullptr, false};
inline constexpr SkinControl kBtnLicenceLink{"BtnLicenceLink", "Button", nullptr, false};
inline constexpr SkinControl kBtnSelectPath{"BtnSelectPath", "Button", nullptr, false};

inline constexpr const SkinControl* kWindowControls[] = {
    &kTabMain,         &kVertInitView,       &kVertInstallView,    &kVertUpdateView,   &kVertCompleteView,
    &kVertInfoTipView, &kHorizNumber,        &kHorizCaptionBtn,    &kEditInstallPath,  &kCheckDesktopLaunch,
    &kCheckAutoStartup, &kCheckLicence,      &kBtnInstall,         &kBtnStart,         &kLabelTitleComplete,
    &kProgressInstall, &kLabelInstallValue,  &kBtnClose,           &kBtnLicenceLink,   &kBtnSelectPath,
};

// The install view's background, changed on a timer while files are copied.
inline constexpr const char* kInstallBackgroundImages[] = {"Image/InstallBk0.png", "Image/InstallBk1.png"};

}  // namespace skin
}  // namespace brix
