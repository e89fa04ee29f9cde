# velmora.exe: the tray program, in floors that each use only those below:
# common/ (what the dialogs and the program share) on the model, ui/ (the
# dialogs) on common/, app/ (the program) on ui/. Everything but the entry
# point is a library, so the Windows tests can run the real window procedures
# and dialogs in their own process, with the same resources linked in.
enable_language(RC)

function(velmora_add_floor name folder)
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/app/main\\.cpp$")
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PUBLIC UNICODE _UNICODE NOMINMAX)
  target_link_libraries(${name} PUBLIC ${ARGN} PRIVATE velmora_warnings)
endfunction()
velmora_add_floor(velmora_common common velmora_model user32)
velmora_add_floor(velmora_ui ui velmora_common)
velmora_add_floor(velmora_app app velmora_ui shell32 shlwapi user32 gdi32)

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
