# What a Windows user gets: decrimp95.exe, stripped, and a README.txt for Notepad,
# installed by `cmake --install` and zipped by `cpack` as decrimp95-<version>-win32/win64.zip.
# The build tree's exe, the one the tests drive, keeps its symbols.
configure_file(${PROJECT_SOURCE_DIR}/resources/README.txt.in ${PROJECT_BINARY_DIR}/README.txt
  @ONLY NEWLINE_STYLE CRLF)
install(TARGETS decrimp95 RUNTIME DESTINATION .)
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_SYSTEM_NAME win32)
endif()
set(CPACK_PACKAGE_NAME decrimp95)
set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON)
include(CPack)
