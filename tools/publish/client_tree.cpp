#include "tools/publish/client_tree.h"

#include <algorithm>
#include <system_error>

#include "tools/publish/file_name_rules.h"

namespace publish {

namespace fs = std::filesystem;

std::string GenericUtf8(const fs::path& path, bool& ok) {
  try {
    const std::u8string text = path.generic_u8string();
    ok = true;
    return {text.begin(), text.end()};
  } catch (const std::exception&) {
    ok = false;
    return {};
  }
}

bool IsWithin(const fs::path& inner, const fs::path& outer) {
  return std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first == outer.end();
}

std::string ShowPath(const fs::path& path) {
  bool ok = false;
  std::string text = GenericUtf8(path, ok);
  return ok ? text : "(a name that is not valid Unicode)";
}

namespace {

class Walker {
 public:
  explicit Walker(const fs::path& root) : root_(root) {
    std::error_code error;
    canonicalRoot_ = fs::canonical(root, error);
    if (error) Fail(ListingProblem::Unreadable, "cannot read " + ShowPath(root), error);
  }

  ClientListing Run() {
    if (listing_.problem == ListingProblem::None) Walk();
    if (listing_.problem != ListingProblem::None) listing_.files.clear();
    std::sort(listing_.files.begin(), listing_.files.end(),
              [](const ClientFile& a, const ClientFile& b) { return a.path < b.path; });
    return std::move(listing_);
  }

 private:
  void Fail(ListingProblem problem, std::string text, std::error_code error = {}) {
    if (listing_.problem != ListingProblem::None) return;
    listing_.problem = problem;
    listing_.error = error ? text + ": " + error.message() : std::move(text);
  }

  void Walk() {
    std::error_code error;
    fs::recursive_directory_iterator it(root_, fs::directory_options::none, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      Visit(*it);
      if (listing_.problem != ListingProblem::None) return;
    }
    if (error)
      Fail(ListingProblem::Unreadable, "cannot read the folders of " + ShowPath(root_), error);
  }

  void Visit(const fs::directory_entry& entry) {
    std::error_code error;
    const fs::file_status status = entry.symlink_status(error);
    if (error)
      return Fail(ListingProblem::Unreadable, "cannot read " + ShowPath(entry.path()), error);
    if (fs::is_directory(status)) return;
    if (fs::is_symlink(status)) return VisitLink(entry.path());
    if (!fs::is_regular_file(status))
      return Fail(ListingProblem::Refused, ShowPath(entry.path()) + " is not a regular file");
    Add(entry.path());
  }

  void VisitLink(const fs::path& link) {
    std::error_code error;
    const fs::path target = fs::canonical(link, error);
    if (error)
      return Fail(ListingProblem::Refused, "link " + ShowPath(link) + " leads nowhere", error);
    if (!IsWithin(target, canonicalRoot_))
      return Fail(ListingProblem::Refused,
                  "link " + ShowPath(link) + " leads out of the client folder");
    if (!fs::is_regular_file(target, error))
      return Fail(ListingProblem::Refused, "link " + ShowPath(link) + " does not lead to a file");
    Add(link);
  }

  void Add(const fs::path& file) {
    bool ok = false;
    std::string relative = GenericUtf8(file.lexically_relative(root_), ok);
    if (!ok)
      return Fail(ListingProblem::Refused, ShowPath(file) + ": the name is not valid Unicode");
    if (const std::string refusal = PathRefusal(relative); !refusal.empty())
      return Fail(ListingProblem::Refused, "cannot publish \"" + relative + "\": " + refusal);
    std::error_code error;
    const std::uintmax_t size = fs::file_size(file, error);
    if (error) return Fail(ListingProblem::Unreadable, "cannot read " + ShowPath(file), error);
    listing_.files.push_back({std::move(relative), file, size});
  }

  fs::path root_;
  fs::path canonicalRoot_;
  ClientListing listing_;
};

}  // namespace

ClientListing ListClientFiles(const fs::path& root) {
  return Walker(root).Run();
}

}  // namespace publish
