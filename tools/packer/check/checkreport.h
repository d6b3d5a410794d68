#pragma once
// What `quillpack --check` found: one line per problem or note as
// "<file>:<line>: <what>", file relative to the product folder, printed as
// found; the counts decide the exit code.
#include <cstddef>
#include <string>

namespace quillpack {

class CheckReport {
 public:
  explicit CheckReport(std::string root);

  // line 0: the file as a whole.
  void Problem(const std::string& file, int line, const std::string& what);
  void Note(const std::string& file, int line, const std::string& what);
  // A message that already starts with its file (a PackError's text);
  // the product folder's path in it is cut to keep names relative.
  void Problem(const std::string& message);
  // Facts worth showing that are neither (the hooks a chunk defines).
  void Info(const std::string& file, const std::string& what);

  // `message` with the product folder's path ("<root>/") removed.
  std::string Relative(const std::string& message) const;
  const std::string& root() const { return root_; }
  size_t problems() const { return problems_; }
  size_t notes() const { return notes_; }

 private:
  std::string root_;
  size_t problems_ = 0;
  size_t notes_ = 0;
};

}  // namespace quillpack
