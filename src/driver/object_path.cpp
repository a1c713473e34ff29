#include "driver/object_path.h"

#include <sys/stat.h>

namespace vorn {

std::string make_object_path(std::string_view source_path) {
  std::size_t name_start = source_path.find_last_of("/\\");
  name_start = (name_start == std::string_view::npos) ? 0 : name_start + 1;
  std::size_t dot = source_path.find('.', name_start);
  std::string path(source_path.substr(0, dot));
  path.append(".obj");
  return path;
}

bool object_replaces_source(const std::string& source_path, const struct stat& source,
                            const std::string& object_path) {
  if (source_path == object_path) return true;
  struct stat obj {};
  if (::stat(object_path.c_str(), &obj) != 0) return false;
  return source.st_dev == obj.st_dev && source.st_ino == obj.st_ino;
}

}  // namespace vorn
