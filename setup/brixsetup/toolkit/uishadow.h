#pragma once
// The soft drop shadow: a click-through layered window with per-pixel
// alpha, kept just below the skinned window and larger by the shadow size.
#include <windows.h>

#include <cstdint>

namespace brixui {

class CShadowUI {
 public:
  CShadowUI(HWND owner, int size, uint32_t argb, SIZE round);
  ~CShadowUI();
  // Follows the owner's position, size and visibility.
  void Update();

 private:
  void Render(int width, int height);
  HWND m_owner;
  HWND m_hwnd = nullptr;
  int m_size;
  uint32_t m_color;
  SIZE m_round;
  SIZE m_rendered{0, 0};
};

}  // namespace brixui
