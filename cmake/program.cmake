# velmora.exe: the tray program. Everything but the entry point is also a
# library, so the Windows tests can run the real window procedures and dialogs
# in their own process, with the same resources linked in.
enable_language(RC)

file(GLOB VELMORA_APP_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/app/*.cpp ${PROJECT_SOURCE_DIR}/ui/*.cpp)
list(FILTER VELMORA_APP_SOURCES EXCLUDE REGEX "/app/main\\.cpp$")

add_library(velmora_app STATIC ${VELMORA_APP_SOURCES})
target_include_directories(velmora_app PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(velmora_app PUBLIC UNICODE _UNICODE NOMINMAX)
target_link_libraries(velmora_app
  PUBLIC velmora_model comctl32 shell32 shlwapi user32 gdi32
  PRIVATE velmora_warnings)

# The resource script is UTF-8 and says so with #pragma code_page(65001).
add_library(velmora_resources OBJECT ${PROJECT_SOURCE_DIR}/res/velmora.rc)
target_include_directories(velmora_resources PRIVATE ${PROJECT_SOURCE_DIR}/res)
set_source_files_properties(${PROJECT_SOURCE_DIR}/res/velmora.rc PROPERTIES
  OBJECT_DEPENDS "${PROJECT_SOURCE_DIR}/res/resource.h;${PROJECT_SOURCE_DIR}/res/version.h;${PROJECT_SOURCE_DIR}/res/velmora.ico;${PROJECT_SOURCE_DIR}/res/velmora.manifest")

add_executable(velmora WIN32 ${PROJECT_SOURCE_DIR}/app/main.cpp $<TARGET_OBJECTS:velmora_resources>)
target_link_libraries(velmora PRIVATE velmora_app velmora_warnings)
if(MINGW)
  # wWinMain as the entry point; nothing of the toolchain's runtime as a DLL.
  target_link_options(velmora PRIVATE -municode -static)
endif()
