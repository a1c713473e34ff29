# Emscripten wherever it is installed: the toolchain file of the emcc found on the PATH
# (Debian's package, apt-get install emscripten, keeps it in /usr/share/emscripten; an emsdk
# checkout beside its emcc).
find_program(VORN_EMCC emcc REQUIRED)
get_filename_component(vorn_emcc_dir "${VORN_EMCC}" REALPATH)
get_filename_component(vorn_emcc_dir "${vorn_emcc_dir}" DIRECTORY)
find_file(VORN_EMSCRIPTEN_TOOLCHAIN Emscripten.cmake
          PATHS "${vorn_emcc_dir}/cmake/Modules/Platform" NO_DEFAULT_PATH NO_CACHE REQUIRED)
include("${VORN_EMSCRIPTEN_TOOLCHAIN}")
