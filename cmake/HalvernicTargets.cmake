# Shared build settings for every target of the project.
#
#   halvernic_product   compile options of product code (warnings are errors)
#   halvernic_runtime   the Objective-C runtime, Foundation and blocks of the platform
#   halvernic_link_runtime(<target>)
#                       link the runtime; on Linux also the Foundation fix-ups that make
#                       GNUstep behave as Apple's Foundation (every Linux program needs them)
#   halvernic_link_engine(<target>), halvernic_link_replacements(<target>)
#                       a Linux program (test, benchmark, fuzz target) that runs the power
#                       policy engine, or the method replacement layer, with all it calls

# iOS: every binary links for 15.0 unless it lowers its own minimum
# (halvernic_set_minimum_ios, below); sources compile for the slice's oldest system.
if(HALVERNIC_IOS)
  add_link_options(-miphoneos-version-min=${HALVERNIC_IOS_DEFAULT_MINIMUM})
endif()

add_library(halvernic_product INTERFACE)
target_compile_options(halvernic_product INTERFACE
  -Wall -Wextra -Werror -Wno-unused-parameter -fblocks)

add_library(halvernic_runtime INTERFACE)
target_compile_options(halvernic_runtime INTERFACE -fblocks)

if(HALVERNIC_IOS)
  target_link_libraries(halvernic_runtime INTERFACE
    "-framework Foundation" "-framework CoreFoundation" objc)
else()
  # GCC's Objective-C runtime headers live in GCC's private include folder, next to
  # GCC's own stddef.h and friends. clang must see only the objc/ subfolder, so a
  # folder holding a link to it goes on the include path.
  execute_process(COMMAND gcc -print-file-name=include
                  OUTPUT_VARIABLE _gcc_include OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT EXISTS "${_gcc_include}/objc/runtime.h")
    message(FATAL_ERROR "GCC's Objective-C runtime headers are missing (run scripts/bootstrap)")
  endif()
  set(HALVERNIC_GCC_INCLUDE "${_gcc_include}" CACHE INTERNAL "")
  set(_shim "${CMAKE_BINARY_DIR}/objc-include")
  file(MAKE_DIRECTORY "${_shim}")
  file(CREATE_LINK "${_gcc_include}/objc" "${_shim}/objc" SYMBOLIC)
  target_include_directories(halvernic_runtime SYSTEM INTERFACE "${_shim}")

  find_library(GNUSTEP_BASE_LIBRARY gnustep-base REQUIRED)
  find_library(BLOCKS_RUNTIME_LIBRARY BlocksRuntime REQUIRED)
  # GNUstep Base is reached only through the runtime, never by a symbol the linker sees
  # as used: without --no-as-needed Debian's linker drops it and its classes never load.
  # The blocks runtime comes first: GNUstep Base exports a _Block_copy of its own that
  # leaves a stack block where it is (no heap copy, captured C++ objects not copied), and
  # the first library in the load order provides the symbol to the whole process.
  target_link_libraries(halvernic_runtime INTERFACE
    -Wl,--no-as-needed ${BLOCKS_RUNTIME_LIBRARY} ${GNUSTEP_BASE_LIBRARY} objc -Wl,--as-needed
    pthread dl)
  # CMake names each library once per link line, where it first needs it, which may be after
  # GNUstep Base or inside an --as-needed stretch (a program that makes no block itself then
  # loses it, and GNUstep Base's copy wins). As a link option it comes before every object
  # and library, so it always loads first.
  target_link_options(halvernic_runtime INTERFACE
    "LINKER:--push-state,--no-as-needed,${BLOCKS_RUNTIME_LIBRARY},--pop-state")
endif()

function(halvernic_link_runtime target)
  target_link_libraries(${target} PRIVATE halvernic_runtime)
  if(NOT HALVERNIC_IOS)
    target_link_libraries(${target} PRIVATE
      -Wl,--no-as-needed $<TARGET_NAME_IF_EXISTS:hv_foundation_fixups> -Wl,--as-needed)
    get_target_property(_type ${target} TYPE)
    if(HALVERNIC_SANITIZE AND _type STREQUAL "EXECUTABLE")
      target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/sanitizers/default_suppressions.cpp)
    endif()
  endif()
endfunction()

if(NOT HALVERNIC_IOS AND HALVERNIC_SANITIZE)
  if(HALVERNIC_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-sanitize=function,vptr -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  elseif(HALVERNIC_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
  else()
    message(FATAL_ERROR "HALVERNIC_SANITIZE must be '', 'address' or 'thread'")
  endif()
endif()

# A Linux program that runs the power policy engine: the engine's objects and those it calls
# (configuration, contract, OS thermal status functions, the battery's reading through
# IOKit), the platform stand-ins, and
# SystemConfiguration, which the OS status functions find by name among the loaded images.
# The engine's preferences resolve below the program's device root through libroot, found
# on the program's run path.
function(halvernic_link_engine target)
  target_link_libraries(${target} PRIVATE
    hv_policy hv_config hv_contract hv_osthermal_api hv_battery hv_platform
    -Wl,--no-as-needed hv_systemconfiguration hv_corefoundation hv_notify -Wl,--as-needed)
  set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
  set_property(TARGET ${target} APPEND PROPERTY BUILD_RPATH ${HV_LIBROOT_DIR})
  add_dependencies(${target} hv_libroot)
endfunction()

# A Linux program that runs the method replacement layer: its objects, the hook layer's
# through which it installs the replacements, the contract's reader of the preferences
# file, and the engine, which the layer asks while the overheat protection is engaged. The
# layer's own snapshot resolves the preferences file below the program's device root
# through libroot, found on the program's run path.
function(halvernic_link_replacements target)
  target_link_libraries(${target} PRIVATE hv_replacements hv_hooking hv_contract)
  halvernic_link_engine(${target})
endfunction()

# A loadable bundle, laid out as the device holds it:
#   ${CMAKE_BINARY_DIR}/bundles/<NAME>.bundle/<NAME>      the binary
#   ${CMAKE_BINARY_DIR}/bundles/<NAME>.bundle/Info.plist  from INFO_PLIST, with @PROJECT_VERSION@
#                                                         replaced by the project's version
#   ${CMAKE_BINARY_DIR}/bundles/<NAME>.bundle/<file>      each of RESOURCES
#
#   halvernic_add_bundle(<target> NAME <Name> INFO_PLIST <file>
#                        SOURCES <files...> [RESOURCES <files...>])
#
# The binary is a shared library without prefix or suffix; it links the runtime and the
# product's compile options. Symbols are hidden unless a source exports them. On iOS its
# install name is @rpath/<NAME>; the bundle adds its own run path (/var/jb/usr/lib, where
# libroot is: scripts/check-ios insists on it). The package takes the bundle folder as it is
# (packaging/CMakeLists.txt).
function(halvernic_add_bundle target)
  cmake_parse_arguments(B "" "NAME;INFO_PLIST" "SOURCES;RESOURCES" ${ARGN})
  if(NOT B_NAME OR NOT B_INFO_PLIST)
    message(FATAL_ERROR "halvernic_add_bundle(${target}): NAME and INFO_PLIST are required")
  endif()
  set(dir "${CMAKE_BINARY_DIR}/bundles/${B_NAME}.bundle")
  add_library(${target} SHARED ${B_SOURCES})
  set_target_properties(${target} PROPERTIES
    PREFIX "" SUFFIX "" OUTPUT_NAME "${B_NAME}"
    LIBRARY_OUTPUT_DIRECTORY "${dir}"
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  if(HALVERNIC_IOS)
    set_target_properties(${target} PROPERTIES
      INSTALL_NAME_DIR "@rpath" BUILD_WITH_INSTALL_NAME_DIR ON)
  endif()
  target_link_libraries(${target} PRIVATE halvernic_product)
  halvernic_link_runtime(${target})
  set(copies)
  foreach(file IN LISTS B_RESOURCES)
    get_filename_component(name "${file}" NAME)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different "${file}" "${dir}/${name}")
  endforeach()
  # @PROJECT_VERSION@ in the Info.plist becomes the project's version.
  get_filename_component(info "${B_INFO_PLIST}" ABSOLUTE)
  set(info_out "${CMAKE_CURRENT_BINARY_DIR}/${B_NAME}.Info.plist")
  configure_file("${info}" "${info_out}" @ONLY)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "${info_out}" "${dir}/Info.plist"
    ${copies}
    VERBATIM)
  # A changed resource relinks the binary, whose POST_BUILD copies it into the bundle.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${B_INFO_PLIST}" ${B_RESOURCES})
  set_property(TARGET ${target} PROPERTY HALVERNIC_BUNDLE_DIR "${dir}")
endfunction()

# The oldest iOS a binary runs on, for each slice of the iOS build:
#
#   halvernic_set_minimum_ios(<target> <version>)
#
# The arm64 slice gets <version>; the arm64e slice gets <version> but never less than 14.0,
# the first system whose arm64e processes load third-party images with the current
# pointer-authentication ABI (the only arm64e ABI clang 22 and ld64 make). Without a call a
# binary links for 15.0. Sets the compiler's minimum for the target's own sources and the
# linker's for the binary; the static libraries it links are compiled for the oldest system
# of the slice (12.2, 14.0), so they suit any minimum. The Linux build ignores it.
function(halvernic_set_minimum_ios target version)
  if(NOT HALVERNIC_IOS)
    return()
  endif()
  if(NOT version MATCHES "^[0-9]+\\.[0-9]+(\\.[0-9]+)?$")
    message(FATAL_ERROR "halvernic_set_minimum_ios(${target}): '${version}' is no iOS version")
  endif()
  if(HALVERNIC_IOS_ARCH STREQUAL "arm64e" AND version VERSION_LESS 14.0)
    set(version 14.0)
  endif()
  target_compile_options(${target} PRIVATE -miphoneos-version-min=${version})
  target_link_options(${target} PRIVATE -miphoneos-version-min=${version})
  set_property(TARGET ${target} PROPERTY HALVERNIC_MINIMUM_IOS ${version})
endfunction()
