# Cross-compile for iOS against an iPhoneOS SDK, one slice per build folder.
#
#   HALVERNIC_IOS_SDK    the SDK folder (cache variable or environment variable); checked,
#                        and repaired when it lost its links, by cmake/ios-sdk.cmake
#   HALVERNIC_IOS_ARCH   arm64 (default): clang and lld. The `ios` preset builds this slice and,
#                        when Apple's linker is there, the arm64e slice beside it
#                        (cmake/ios-universal.cmake), joining both into every binary.
#                        arm64e: clang 22, which emits the current pointer-authentication ABI,
#                        and Apple's ld64 from HALVERNIC_IOS_LD64_BIN (lld cannot link arm64e).
#
# Every binary gets an ad-hoc code signature, which is what a rootless jailbreak needs to load
# it. A binary's minimum system is 15.0 unless it lowers its own with
# halvernic_set_minimum_ios() (cmake/HalvernicTargets.cmake).
set(CMAKE_SYSTEM_NAME iOS)

if(NOT HALVERNIC_IOS_ARCH)
  set(HALVERNIC_IOS_ARCH arm64)
endif()
if(NOT HALVERNIC_IOS_ARCH MATCHES "^(arm64|arm64e)$")
  message(FATAL_ERROR "HALVERNIC_IOS_ARCH must be arm64 or arm64e, not '${HALVERNIC_IOS_ARCH}'")
endif()
set(HALVERNIC_IOS_ARCH "${HALVERNIC_IOS_ARCH}" CACHE STRING "The slice this build folder makes")
set(CMAKE_SYSTEM_PROCESSOR ${HALVERNIC_IOS_ARCH})
set(CMAKE_OSX_ARCHITECTURES ${HALVERNIC_IOS_ARCH})
# Sources compile for the oldest system any binary of the project supports on this slice (the
# pane: 12.2 on arm64, 14.0 on arm64e), so that the static libraries every binary links are
# valid in each; binaries link for HALVERNIC_IOS_DEFAULT_MINIMUM (cmake/HalvernicTargets.cmake)
# unless they lower their own minimum with halvernic_set_minimum_ios().
if(HALVERNIC_IOS_ARCH STREQUAL "arm64e")
  set(CMAKE_OSX_DEPLOYMENT_TARGET 14.0)
else()
  set(CMAKE_OSX_DEPLOYMENT_TARGET 12.2)
endif()
set(HALVERNIC_IOS_DEFAULT_MINIMUM 15.0)

if(NOT HALVERNIC_IOS_SDK)
  set(HALVERNIC_IOS_SDK "$ENV{HALVERNIC_IOS_SDK}")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/ios-sdk.cmake)
# Checked (and repaired if need be) at the first configuration and whenever the SDK changes;
# try_compile's readings of this file inherit the result.
if(NOT HALVERNIC_IOS_SYSROOT OR NOT HALVERNIC_IOS_SYSROOT_FROM STREQUAL HALVERNIC_IOS_SDK)
  halvernic_ios_sdk("${HALVERNIC_IOS_SDK}" "${CMAKE_BINARY_DIR}" _sysroot)
  set(HALVERNIC_IOS_SYSROOT "${_sysroot}" CACHE INTERNAL "the SDK folder the build uses")
  set(HALVERNIC_IOS_SYSROOT_FROM "${HALVERNIC_IOS_SDK}" CACHE INTERNAL "")
endif()
set(HALVERNIC_IOS_SDK "${HALVERNIC_IOS_SDK}" CACHE PATH "iPhoneOS SDK folder")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES
  HALVERNIC_IOS_SDK HALVERNIC_IOS_SYSROOT HALVERNIC_IOS_SYSROOT_FROM HALVERNIC_IOS_ARCH HALVERNIC_IOS_LD64_BIN)
set(CMAKE_OSX_SYSROOT "${HALVERNIC_IOS_SYSROOT}")

if(HALVERNIC_IOS_ARCH STREQUAL "arm64e")
  find_program(HALVERNIC_CLANG NAMES clang-22)
  find_program(HALVERNIC_CLANGXX NAMES clang++-22)
  if(NOT HALVERNIC_CLANGXX)
    message(FATAL_ERROR "The arm64e slice needs clang 22 (Debian's clang-22: scripts/bootstrap ios)")
  endif()
  if(NOT EXISTS "${HALVERNIC_IOS_LD64_BIN}/ld64")
    message(FATAL_ERROR "The arm64e slice needs Apple's linker: HALVERNIC_IOS_LD64_BIN="
                        "'${HALVERNIC_IOS_LD64_BIN}' holds no ld64")
  endif()
  set(_link "--ld-path=${HALVERNIC_IOS_LD64_BIN}/ld64 -mlinker-version=951.9")
else()
  find_program(HALVERNIC_CLANG NAMES clang-22 clang-14 clang REQUIRED)
  find_program(HALVERNIC_CLANGXX NAMES clang++-22 clang++-14 clang++ REQUIRED)
  set(_link "-fuse-ld=lld")
endif()
set(CMAKE_C_COMPILER ${HALVERNIC_CLANG})
set(CMAKE_CXX_COMPILER ${HALVERNIC_CLANGXX})
set(CMAKE_OBJCXX_COMPILER ${HALVERNIC_CLANGXX})
# No version in the triple: the minimum system comes from -miphoneos-version-min, which a
# target may lower, and the triple's version would override it.
set(_target "${HALVERNIC_IOS_ARCH}-apple-ios")
set(CMAKE_C_COMPILER_TARGET ${_target})
set(CMAKE_CXX_COMPILER_TARGET ${_target})
set(CMAKE_OBJCXX_COMPILER_TARGET ${_target})
set(CMAKE_CXX_FLAGS_INIT "-stdlib=libc++")
set(CMAKE_OBJCXX_FLAGS_INIT "-stdlib=libc++")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "${_link} -Wl,-adhoc_codesign")
endforeach()
set(CMAKE_FIND_ROOT_PATH "${HALVERNIC_IOS_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# LLVM's binary tools stand in for Xcode's.
find_program(CMAKE_AR NAMES llvm-ar-22 llvm-ar-14 llvm-ar REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib-22 llvm-ranlib-14 llvm-ranlib REQUIRED)
find_program(CMAKE_INSTALL_NAME_TOOL
             NAMES llvm-install-name-tool-22 llvm-install-name-tool-14 llvm-install-name-tool REQUIRED)
find_program(CMAKE_NM NAMES llvm-nm-22 llvm-nm-14 llvm-nm)
find_program(CMAKE_OTOOL NAMES llvm-otool-22 llvm-otool-14 llvm-otool)
find_program(CMAKE_STRIP NAMES llvm-strip-22 llvm-strip-14 llvm-strip)
find_program(CMAKE_LIPO NAMES llvm-lipo-22 llvm-lipo-14 llvm-lipo)
