# Start-up wiring of the halvernic library: the load-time initialisers, the tweak, the hook
# set and the Darwin observers. It sits above every other folder of the extension (it
# activates the hooks, installs the replacements and drives the engine), so it is defined
# after them; extension/CMakeLists.txt includes this file last.
set(_startup ${PROJECT_SOURCE_DIR}/extension/startup)
add_library(hv_startup_wiring OBJECT
  ${_startup}/darwin_observers.cpp
  ${_startup}/hook_set.cpp
  ${_startup}/initialisers.cpp
  ${_startup}/tweak.cpp
)
target_include_directories(hv_startup_wiring PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(hv_startup_wiring
  PUBLIC hv_objc hv_startup hv_replacements hv_contract PRIVATE halvernic_product)
if(TARGET hv_platform)
  target_link_libraries(hv_startup_wiring PUBLIC hv_platform)
endif()
target_link_libraries(hv_startup_wiring PUBLIC hv_policy hv_hooks)
target_link_libraries(halvernic PRIVATE hv_startup_wiring)
# The constructor itself belongs to the library alone.
target_sources(halvernic PRIVATE ${_startup}/load.cpp)
