# Windows 95/98/Me password hooks as a static library of the saver shell; include() it once from the
# shell's CMakeLists.txt (a second include is harmless).
if(ORBIVANE_WINDOWS AND NOT TARGET orbivane_password_hooks)
  add_library(orbivane_password_hooks STATIC ${CMAKE_CURRENT_LIST_DIR}/password_hooks.cpp)
  target_include_directories(orbivane_password_hooks PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(orbivane_password_hooks PUBLIC advapi32 user32)
endif()
