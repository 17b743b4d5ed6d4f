# Compiler flags and the two outside libraries (libjpeg-turbo built by scripts/build-libjpeg.sh, zlib
# from Debian's packages for both targets).

# Warnings of the project's own targets (each adds them with target_compile_options, so the outside
# libraries built beside them keep their own). C and C++ only: the resource compiler takes none.
option(QUORLE_WERROR "Treat warnings in the project's own code as errors" ON)
set(_quorle_warnings -Wall -Wextra -Wshadow)
if(QUORLE_WERROR)
  list(APPEND _quorle_warnings -Werror)
endif()
set(QUORLE_WARNINGS)
foreach(flag ${_quorle_warnings})
  list(APPEND QUORLE_WARNINGS "$<$<COMPILE_LANGUAGE:C,CXX>:${flag}>")
endforeach()

if(WIN32)
  set(QUORLE_OUTPUT_DIR "${CMAKE_BINARY_DIR}/out")
  set(_jpeg_dir "${QUORLE_DEPS_DIR}/jpeg-win64")
  # One self-contained exe: no MinGW runtime DLLs beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
else()
  set(QUORLE_OUTPUT_DIR "${CMAKE_BINARY_DIR}/out")
  set(_jpeg_dir "${QUORLE_DEPS_DIR}/jpeg-native")
  if(QUORLE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  endif()
  if(QUORLE_FUZZ)
    # Coverage for libFuzzer in everything the targets reach.
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
endif()

if(NOT EXISTS "${_jpeg_dir}/lib/libjpeg.a")
  message(FATAL_ERROR "libjpeg-turbo not found in ${_jpeg_dir}: run scripts/bootstrap.sh first")
endif()
add_library(quorle_jpeg STATIC IMPORTED GLOBAL)
set_target_properties(quorle_jpeg PROPERTIES
  IMPORTED_LOCATION "${_jpeg_dir}/lib/libjpeg.a"
  INTERFACE_INCLUDE_DIRECTORIES "${_jpeg_dir}/include")

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
add_library(quorle_zlib INTERFACE)
target_link_libraries(quorle_zlib INTERFACE ZLIB::ZLIB)

# liblzma (scripts/build-liblzma.sh): 7z and .xz in libarchive.
if(WIN32)
  set(_lzma_dir "${QUORLE_DEPS_DIR}/lzma-win64")
else()
  set(_lzma_dir "${QUORLE_DEPS_DIR}/lzma-native")
endif()
if(NOT EXISTS "${_lzma_dir}/lib/liblzma.a")
  message(FATAL_ERROR "liblzma not found in ${_lzma_dir}: run scripts/bootstrap.sh first")
endif()
add_library(quorle_lzma STATIC IMPORTED GLOBAL)
set_target_properties(quorle_lzma PROPERTIES
  IMPORTED_LOCATION "${_lzma_dir}/lib/liblzma.a"
  INTERFACE_INCLUDE_DIRECTORIES "${_lzma_dir}/include"
  INTERFACE_COMPILE_DEFINITIONS LZMA_API_STATIC)

# libwebp's decoder (scripts/build-libwebp.sh): the WebP plug-in only.
if(WIN32)
  set(_webp_dir "${QUORLE_DEPS_DIR}/webp-win64")
else()
  set(_webp_dir "${QUORLE_DEPS_DIR}/webp-native")
endif()
if(NOT EXISTS "${_webp_dir}/lib/libwebpdecoder.a")
  message(FATAL_ERROR "libwebp not found in ${_webp_dir}: run scripts/bootstrap.sh first")
endif()
add_library(quorle_webp STATIC IMPORTED GLOBAL)
set_target_properties(quorle_webp PROPERTIES
  IMPORTED_LOCATION "${_webp_dir}/lib/libwebpdecoder.a"
  INTERFACE_INCLUDE_DIRECTORIES "${_webp_dir}/include")
if(NOT WIN32)
  target_link_libraries(quorle_webp INTERFACE m)
endif()

# libarchive (scripts/build-libarchive.sh): the built-in RAR reader; 7z, tar and cab for the plug-in.
if(WIN32)
  set(_archive_dir "${QUORLE_DEPS_DIR}/archive-win64")
else()
  set(_archive_dir "${QUORLE_DEPS_DIR}/archive-native")
endif()
if(NOT EXISTS "${_archive_dir}/lib/libarchive.a")
  message(FATAL_ERROR "libarchive not found in ${_archive_dir}: run scripts/bootstrap.sh first")
endif()
add_library(quorle_libarchive STATIC IMPORTED GLOBAL)
set_target_properties(quorle_libarchive PROPERTIES
  IMPORTED_LOCATION "${_archive_dir}/lib/libarchive.a"
  INTERFACE_INCLUDE_DIRECTORIES "${_archive_dir}/include"
  INTERFACE_COMPILE_DEFINITIONS LIBARCHIVE_STATIC)
target_link_libraries(quorle_libarchive INTERFACE quorle_lzma ZLIB::ZLIB)
if(WIN32)
  target_link_libraries(quorle_libarchive INTERFACE advapi32)
endif()
