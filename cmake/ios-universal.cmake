# The arm64e slice and the universal binaries of the iOS build (included by the arm64 build
# folder, after every product target is defined).
#
# A12 and later devices run thermalmonitord, Settings and SpringBoard as arm64e processes,
# which load arm64e images only. The arm64e slice is a second build folder, <build>/arm64e,
# configured with the same sources and cmake/ios.toolchain.cmake (HALVERNIC_IOS_ARCH=arm64e):
# clang 22 compiles it and Apple's ld64 links it. llvm-lipo then joins both slices of each
# product binary into <build>/universal/<the binary's path in the build folder>.
#
#   HALVERNIC_IOS_LD64   where Apple's ld64 is: a folder with bin/ld64, a tarball of one
#                        (unpacked once into <build>/ld64), or a folder holding such a tarball.
#                        Default: the environment variable of the same name, else
#                        ../shared/toolchain beside the source tree when it exists.
#
# Without a linker (nothing given, nothing at the default place) or without clang 22 the
# build goes on with arm64 only and says so; a linker that was named but is missing or does
# not run stops the configuration.
#
#   halvernic_ios_binary(<target> <out-var>)   the file the package takes for a product target:
#                                              the universal binary, or the arm64 one.
include_guard(GLOBAL)
include(ExternalProject)

set(HALVERNIC_IOS_PRODUCTS halvernic HalvernicPrefs HalvernicCC halvernicctl)

set(_ld64_given "")
if(DEFINED HALVERNIC_IOS_LD64)
  set(_ld64_given "${HALVERNIC_IOS_LD64}")
elseif(DEFINED ENV{HALVERNIC_IOS_LD64})
  set(_ld64_given "$ENV{HALVERNIC_IOS_LD64}")
endif()
set(HALVERNIC_IOS_LD64 "${_ld64_given}" CACHE PATH
    "Apple's ld64 for the arm64e slice: a folder with bin/ld64, its tarball, or a folder holding the tarball")

# Answers the folder holding ld64 (and its tools) for <where>, or stops with what is wrong.
function(_halvernic_find_ld64 where out)
  get_filename_component(where "${where}" ABSOLUTE BASE_DIR "${PROJECT_SOURCE_DIR}")
  if(IS_DIRECTORY "${where}" AND EXISTS "${where}/bin/ld64")
    set(bin "${where}/bin")
  else()
    set(tarball "")
    if(IS_DIRECTORY "${where}")
      file(GLOB tarballs "${where}/ios-ld64-*.tar.xz")
      list(SORT tarballs)
      if(tarballs)
        list(POP_BACK tarballs tarball)
      endif()
    elseif(EXISTS "${where}" AND where MATCHES "\\.tar\\.(xz|gz)$")
      set(tarball "${where}")
    endif()
    if(NOT tarball)
      message(FATAL_ERROR "HALVERNIC_IOS_LD64=${where}: no ld64 there (expected a folder with "
                          "bin/ld64, an ios-ld64-*.tar.xz, or a folder holding one)")
    endif()
    get_filename_component(name "${tarball}" NAME)
    string(REGEX REPLACE "\\.tar\\.(xz|gz)$" "" name "${name}")
    set(dest "${CMAKE_BINARY_DIR}/ld64")
    if(NOT EXISTS "${dest}/${name}/bin/ld64")
      message(STATUS "Unpacking ${tarball} into ${dest}")
      file(REMOVE_RECURSE "${dest}")
      file(MAKE_DIRECTORY "${dest}")
      execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf "${tarball}"
                      WORKING_DIRECTORY "${dest}" RESULT_VARIABLE rc)
      if(NOT rc EQUAL 0 OR NOT EXISTS "${dest}/${name}/bin/ld64")
        file(REMOVE_RECURSE "${dest}")
        message(FATAL_ERROR "HALVERNIC_IOS_LD64: ${tarball} did not unpack to ${name}/bin/ld64")
      endif()
    endif()
    set(bin "${dest}/${name}/bin")
  endif()
  execute_process(COMMAND "${bin}/ld64" -v RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE version)
  if(NOT rc EQUAL 0 OR NOT version MATCHES "arm64e")
    message(FATAL_ERROR "HALVERNIC_IOS_LD64: ${bin}/ld64 does not run here or cannot link "
                        "arm64e (ld64 -v: ${version})")
  endif()
  set(${out} "${bin}" PARENT_SCOPE)
endfunction()

set(_ld64_bin "")
set(_why_arm64_only "")
if(HALVERNIC_IOS_LD64)
  _halvernic_find_ld64("${HALVERNIC_IOS_LD64}" _ld64_bin)
elseif(IS_DIRECTORY "${PROJECT_SOURCE_DIR}/../shared/toolchain")
  _halvernic_find_ld64("${PROJECT_SOURCE_DIR}/../shared/toolchain" _ld64_bin)
else()
  set(_why_arm64_only "no Apple ld64 (set HALVERNIC_IOS_LD64)")
endif()
find_program(HALVERNIC_CLANGXX_22 NAMES clang++-22)
if(NOT _why_arm64_only AND NOT HALVERNIC_CLANGXX_22)
  set(_why_arm64_only "no clang 22 (scripts/bootstrap ios installs clang-22)")
endif()
find_program(HALVERNIC_LIPO NAMES llvm-lipo-22 llvm-lipo-14 llvm-lipo REQUIRED)

set(_products)
foreach(t IN LISTS HALVERNIC_IOS_PRODUCTS)
  if(TARGET ${t})
    list(APPEND _products ${t})
  endif()
endforeach()

# The path of a product's binary relative to the build folder: the same in both slices.
function(_halvernic_product_path target out)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    get_target_property(dir ${target} RUNTIME_OUTPUT_DIRECTORY)
  else()
    get_target_property(dir ${target} LIBRARY_OUTPUT_DIRECTORY)
  endif()
  if(NOT dir)
    get_target_property(dir ${target} BINARY_DIR)
  endif()
  get_target_property(prefix ${target} PREFIX)
  get_target_property(suffix ${target} SUFFIX)
  get_target_property(name ${target} OUTPUT_NAME)
  if(prefix STREQUAL "prefix-NOTFOUND")
    set(prefix lib)
    if(type STREQUAL "EXECUTABLE")
      set(prefix "")
    endif()
  endif()
  if(suffix STREQUAL "suffix-NOTFOUND")
    set(suffix .dylib)
    if(type STREQUAL "EXECUTABLE")
      set(suffix "")
    endif()
  endif()
  if(NOT name)
    set(name ${target})
  endif()
  file(RELATIVE_PATH rel "${CMAKE_BINARY_DIR}" "${dir}/${prefix}${name}${suffix}")
  set(${out} "${rel}" PARENT_SCOPE)
endfunction()

if(_why_arm64_only)
  set(HALVERNIC_IOS_SLICES arm64)
  message(WARNING "iOS build: ${_why_arm64_only}. The binaries and the package are arm64 only "
                  "and will not load on A12 and later devices (arm64e processes).")
else()
  set(HALVERNIC_IOS_SLICES arm64 arm64e)
  message(STATUS "iOS build: arm64 (lld) and arm64e (clang 22, ld64 in ${_ld64_bin})")
  set(_arm64e_dir "${CMAKE_BINARY_DIR}/arm64e")
  set(_byproducts)
  foreach(t IN LISTS _products)
    _halvernic_product_path(${t} rel)
    list(APPEND _byproducts "${_arm64e_dir}/${rel}")
  endforeach()
  ExternalProject_Add(halvernic_arm64e
    SOURCE_DIR "${PROJECT_SOURCE_DIR}"
    BINARY_DIR "${_arm64e_dir}"
    PREFIX "${CMAKE_BINARY_DIR}/arm64e-ep"
    CMAKE_GENERATOR "${CMAKE_GENERATOR}"
    CMAKE_ARGS
      "-DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/ios.toolchain.cmake"
      -DHALVERNIC_IOS_ARCH=arm64e
      "-DHALVERNIC_IOS_SDK=${HALVERNIC_IOS_SDK}"
      "-DHALVERNIC_IOS_SYSROOT=${HALVERNIC_IOS_SYSROOT}"
      "-DHALVERNIC_IOS_SYSROOT_FROM=${HALVERNIC_IOS_SYSROOT_FROM}"
      "-DHALVERNIC_IOS_LD64_BIN=${_ld64_bin}"
      "-DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}"
      -DHALVERNIC_BUILD_TESTS=OFF -DHALVERNIC_BUILD_BENCH=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build "${_arm64e_dir}" --target ${_products}
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${_byproducts}
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)
  set(_universal)
  foreach(t IN LISTS _products)
    _halvernic_product_path(${t} rel)
    set(out "${CMAKE_BINARY_DIR}/universal/${rel}")
    get_filename_component(outdir "${out}" DIRECTORY)
    add_custom_command(OUTPUT "${out}"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${outdir}"
      COMMAND "${HALVERNIC_LIPO}" -create "$<TARGET_FILE:${t}>" "${_arm64e_dir}/${rel}"
              -output "${out}"
      DEPENDS ${t} "$<TARGET_FILE:${t}>" "${_arm64e_dir}/${rel}" halvernic_arm64e
      COMMENT "Joining the arm64 and arm64e slices of ${rel}"
      VERBATIM)
    list(APPEND _universal "${out}")
  endforeach()
  add_custom_target(halvernic_universal ALL DEPENDS ${_universal})
endif()

function(halvernic_ios_binary target out)
  if("arm64e" IN_LIST HALVERNIC_IOS_SLICES)
    _halvernic_product_path(${target} rel)
    set(${out} "${CMAKE_BINARY_DIR}/universal/${rel}" PARENT_SCOPE)
  else()
    set(${out} "$<TARGET_FILE:${target}>" PARENT_SCOPE)
  endif()
endfunction()
