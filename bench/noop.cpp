// The process floor: a C++ program that starts, does nothing and ends.
#include <string>

int main(int argc, char**) {
  return std::string(static_cast<std::size_t>(argc), 'x').size() > 99;
}
