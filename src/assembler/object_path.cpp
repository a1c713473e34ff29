#include "assembler/object_path.h"

namespace vorn {

std::string make_object_path(std::string_view source_path) {
  std::size_t name_start = source_path.find_last_of("/\\");
  name_start = (name_start == std::string_view::npos) ? 0 : name_start + 1;
  std::size_t dot = source_path.find('.', name_start);
  std::string path(source_path.substr(0, dot));
  path.append(".obj");
  return path;
}

}  // namespace vorn
