# The iPhoneOS SDK folder an iOS build compiles and links against.
#
#   halvernic_ios_sdk(<sdk> <build-dir> <out-var>)
#
# Checks that <sdk> is an iPhoneOS SDK with every framework the build links (and those their
# stubs re-export: UIKit's re-exports FileProvider) and stops with a message naming what is
# missing otherwise. Answers the folder to use in <out-var>: <sdk> itself, or a repaired copy
# below <build-dir>/ios-sdk when <sdk> is a copy that lost its symbolic links.
#
# Apple's SDKs, and the collection theos/sdks, hold symbolic links (usr/lib/libSystem.tbd to
# libSystem.B.tbd, libc++.tbd, libobjc.tbd, usr/include/pthread.h, IOKit's Versions/Current, …).
# A checkout or unpacking that cannot make links keeps each as a small file holding the link's
# target (git with core.symlinks=false, the default of Git for Windows and of a clone onto a
# file system without links; unzip tools that write a link's text; a copy through such a
# file system): `usr/lib/libSystem.tbd` then reads "libSystem.B.tbd", and neither the compiler
# nor the linker can use it. The copy is made once and never touches <sdk>. An SDK that keeps
# every file as a file (such as ../shared/sdk) is used as it is.
include_guard(GLOBAL)


# Whether <file> is a link kept as a file: a few bytes, one word without white space, naming
# a path that exists next to it (directly or through other such files).
function(_halvernic_sdk_link_target file out)
  set(${out} "" PARENT_SCOPE)
  if(IS_SYMLINK "${file}" OR IS_DIRECTORY "${file}")
    return()
  endif()
  file(SIZE "${file}" size)
  if(size EQUAL 0 OR size GREATER 255)
    return()
  endif()
  file(READ "${file}" text)
  if(NOT text MATCHES "^[A-Za-z0-9_.+/-]+$" OR text MATCHES "^/")
    return()
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(halvernic_ios_sdk sdk build_dir out)
  if(NOT sdk)
    message(FATAL_ERROR "No iPhoneOS SDK given: set HALVERNIC_IOS_SDK to an SDK folder "
                        "such as …/iPhoneOS15.6.sdk")
  endif()
  get_filename_component(sdk "${sdk}" ABSOLUTE)
  foreach(needed SDKSettings.json usr/lib/libSystem.tbd usr/include/stdio.h
                 System/Library/Frameworks/Foundation.framework)
    if(NOT EXISTS "${sdk}/${needed}")
      message(FATAL_ERROR "HALVERNIC_IOS_SDK=${sdk} is not an iPhoneOS SDK folder: "
                          "${needed} is missing")
    endif()
  endforeach()
  # What the build links, each framework by its stub (Preferences and ControlCenterUIKit are
  # private; FileProvider comes in as UIKit's re-export).
  set(missing)
  foreach(needed usr/lib/libobjc.tbd usr/lib/libc++.tbd
      System/Library/Frameworks/Foundation.framework/Foundation.tbd
      System/Library/Frameworks/CoreFoundation.framework/CoreFoundation.tbd
      System/Library/Frameworks/UIKit.framework/UIKit.tbd
      System/Library/Frameworks/FileProvider.framework/FileProvider.tbd
      System/Library/Frameworks/QuartzCore.framework/QuartzCore.tbd
      System/Library/Frameworks/CoreGraphics.framework/CoreGraphics.tbd
      System/Library/PrivateFrameworks/Preferences.framework/Preferences.tbd
      System/Library/PrivateFrameworks/ControlCenterUIKit.framework/ControlCenterUIKit.tbd)
    if(NOT EXISTS "${sdk}/${needed}")
      list(APPEND missing "${needed}")
    endif()
  endforeach()
  if(missing)
    list(JOIN missing "\n  " missing)
    message(FATAL_ERROR "HALVERNIC_IOS_SDK=${sdk} lacks what the build links (use a complete "
                        "iPhoneOS SDK; UIKit's stub re-exports FileProvider):\n  ${missing}")
  endif()
  file(READ "${sdk}/SDKSettings.json" settings)
  if(NOT settings MATCHES "\"iphoneos\"|iPhoneOS")
    message(FATAL_ERROR "HALVERNIC_IOS_SDK=${sdk} is not an iPhoneOS SDK (SDKSettings.json "
                        "names another platform)")
  endif()

  _halvernic_sdk_link_target("${sdk}/usr/lib/libSystem.tbd" probe)
  if(NOT probe)
    set(${out} "${sdk}" PARENT_SCOPE)
    return()
  endif()

  get_filename_component(name "${sdk}" NAME)
  set(copy "${build_dir}/ios-sdk/${name}")
  set(stamp "${build_dir}/ios-sdk/${name}.from")
  if(EXISTS "${stamp}")
    file(READ "${stamp}" from)
    if(from STREQUAL sdk)
      set(${out} "${copy}" PARENT_SCOPE)
      return()
    endif()
  endif()
  message(STATUS "The SDK at ${sdk} keeps its links as files: using a repaired copy in ${copy}")
  file(REMOVE_RECURSE "${copy}" "${stamp}")
  file(MAKE_DIRECTORY "${build_dir}/ios-sdk")
  file(COPY "${sdk}" DESTINATION "${build_dir}/ios-sdk"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
       DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                             WORLD_READ WORLD_EXECUTE)
  # Small files only are candidates; a link whose target is another kept link resolves
  # once that one has, so repeat until a pass changes nothing.
  file(GLOB_RECURSE candidates LIST_DIRECTORIES false "${copy}/*")
  set(pending)
  foreach(file IN LISTS candidates)
    _halvernic_sdk_link_target("${file}" target)
    if(target)
      list(APPEND pending "${file}")
    endif()
  endforeach()
  set(changed TRUE)
  while(pending AND changed)
    set(changed FALSE)
    set(left)
    foreach(file IN LISTS pending)
      file(READ "${file}" target)
      get_filename_component(dir "${file}" DIRECTORY)
      if(EXISTS "${dir}/${target}")
        file(REMOVE "${file}")
        file(CREATE_LINK "${target}" "${file}" SYMBOLIC)
        set(changed TRUE)
      else()
        list(APPEND left "${file}")
      endif()
    endforeach()
    set(pending ${left})
  endwhile()
  file(WRITE "${stamp}" "${sdk}")
  set(${out} "${copy}" PARENT_SCOPE)
endfunction()

# As a script: cmake -DSDK=<sdk> -DBUILD_DIR=<folder> -P cmake/ios-sdk.cmake prints the SDK
# folder to use as its last line (for tools that compile against the SDK outside a build).
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  halvernic_ios_sdk("${SDK}" "${BUILD_DIR}" _usable)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${_usable}")
endif()
