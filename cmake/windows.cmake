# The Windows x86-64 build: a console program with the wide-character entry
# point, its C and C++ runtimes linked in statically, bound at load time to
# the engine's libsaxon-hec-12.5.0.dll. Included by the top-level
# CMakeLists.txt when building for Windows (natively with mingw-w64 or
# cross-compiled through cmake/mingw-w64.cmake).

# Makes `target` a console program with wmain as its entry point and no
# runtime DLLs beside Windows' own.
function(xslvalidate_windows_console_program target)
  target_compile_options(${target} PRIVATE -municode)
  target_link_options(${target} PRIVATE -municode -static)
endfunction()

# The engine DLL is not part of the build: users install it. Its import
# library is made from the project's list of the five exported names.
set(XSLVALIDATE_ENGINE_DEF
    "${PROJECT_SOURCE_DIR}/src/engine/libsaxon-hec-12.5.0.def")
set(XSLVALIDATE_ENGINE_IMPLIB
    "${PROJECT_BINARY_DIR}/engine/libsaxon-hec-12.5.0.dll.a")
if(NOT CMAKE_DLLTOOL)
  find_program(CMAKE_DLLTOOL NAMES x86_64-w64-mingw32-dlltool dlltool REQUIRED)
endif()
add_custom_command(
  OUTPUT "${XSLVALIDATE_ENGINE_IMPLIB}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${PROJECT_BINARY_DIR}/engine"
  COMMAND "${CMAKE_DLLTOOL}" --machine i386:x86-64
          --input-def "${XSLVALIDATE_ENGINE_DEF}"
          --dllname libsaxon-hec-12.5.0.dll
          --output-lib "${XSLVALIDATE_ENGINE_IMPLIB}"
  DEPENDS "${XSLVALIDATE_ENGINE_DEF}"
  COMMENT "Making the import library of libsaxon-hec-12.5.0.dll"
  VERBATIM)
add_custom_target(engine_import_library DEPENDS "${XSLVALIDATE_ENGINE_IMPLIB}")

# Both programs are built the same way and bind to the same DLL.
foreach(program xslvalidate xslvalidate-verdict)
  xslvalidate_windows_console_program(${program})
  add_dependencies(${program} engine_import_library)
  target_link_libraries(${program} PRIVATE "${XSLVALIDATE_ENGINE_IMPLIB}")
  set_property(TARGET ${program} APPEND PROPERTY
               LINK_DEPENDS "${XSLVALIDATE_ENGINE_IMPLIB}")
endforeach()

# The zip for Windows users, made by every build: a folder holding the
# program, xslvalidate-verdict.exe, README.md and LICENSE.
set(XSLVALIDATE_ZIP_NAME "xslvalidate-${PROJECT_VERSION}-win64")
set(XSLVALIDATE_ZIP "${PROJECT_BINARY_DIR}/${XSLVALIDATE_ZIP_NAME}.zip")
set(XSLVALIDATE_ZIP_STAGE "${PROJECT_BINARY_DIR}/package")
add_custom_command(
  OUTPUT "${XSLVALIDATE_ZIP}"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${XSLVALIDATE_ZIP_STAGE}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory
          "${XSLVALIDATE_ZIP_STAGE}/${XSLVALIDATE_ZIP_NAME}"
  COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE:xslvalidate>"
          "$<TARGET_FILE:xslvalidate-verdict>"
          "${PROJECT_SOURCE_DIR}/README.md" "${PROJECT_SOURCE_DIR}/LICENSE"
          "${XSLVALIDATE_ZIP_STAGE}/${XSLVALIDATE_ZIP_NAME}"
  COMMAND "${CMAKE_COMMAND}" -E rm -f "${XSLVALIDATE_ZIP}"
  COMMAND "${CMAKE_COMMAND}" -E chdir "${XSLVALIDATE_ZIP_STAGE}"
          "${CMAKE_COMMAND}" -E tar cf "${XSLVALIDATE_ZIP}" --format=zip
          "${XSLVALIDATE_ZIP_NAME}"
  DEPENDS xslvalidate xslvalidate-verdict "${PROJECT_SOURCE_DIR}/README.md"
          "${PROJECT_SOURCE_DIR}/LICENSE"
  COMMENT "Making ${XSLVALIDATE_ZIP_NAME}.zip"
  VERBATIM)
add_custom_target(windows_zip ALL DEPENDS "${XSLVALIDATE_ZIP}")

# The end-to-end tests run the program under Wine against a test engine.
if(XSLVALIDATE_BUILD_TESTS)
  add_subdirectory("${PROJECT_SOURCE_DIR}/tests/windows"
                   "${PROJECT_BINARY_DIR}/tests/windows")
endif()
