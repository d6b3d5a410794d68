#pragma once
// The process's COM apartment and GDI+ for the length of one run of the
// installer (or of a tool that draws skins): started together, ended
// together on every way out, GDI+ first.
#include <windows.h>

namespace brix {

class ComGdiplusSession {
 public:
  // CoInitialize(NULL), then GdiplusStartup with input version 1 and all
  // other input fields zero.
  ComGdiplusSession();
  ~ComGdiplusSession();
  ComGdiplusSession(const ComGdiplusSession&) = delete;
  ComGdiplusSession& operator=(const ComGdiplusSession&) = delete;

  // Ends both now (silent mode ends COM before scheduling its deletions);
  // the destructor then does nothing.
  void End();
  bool GdiplusStarted() const { return token_ != 0; }

 private:
  HRESULT com_;
  ULONG_PTR token_ = 0;
  bool ended_ = false;
};

}  // namespace brix
