#include "supervisor/logic/SaveDialog.h"

#include <filesystem>
#include <system_error>

#include "common/Text.h"

namespace karvo {
namespace fs = std::filesystem;

bool TSaveDialog::Execute() {
  FileName = AskSaveFileName(Options);
  if (FileName.empty()) return false;
  fs::path chosen = PathFromUtf8(FileName);
  if (!Options.DefaultExt.empty() && !chosen.filename().has_extension())
    chosen += PathFromUtf8("." + Options.DefaultExt).native();
  // The name stays right when the current folder changes below.
  std::error_code ec;
  if (fs::path absolute = fs::absolute(chosen, ec); !ec) chosen = std::move(absolute);
  FileName = PathText(chosen);
  if (const fs::path folder = chosen.parent_path(); !folder.empty()) fs::current_path(folder, ec);
  return true;
}

}  // namespace karvo
