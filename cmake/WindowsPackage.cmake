# The ZIP a Windows user unpacks (target "package"): both programs, poppler's data beside them and
# the licence texts of every library linked into them.
get_property(POPPLER_PREFIX GLOBAL PROPERTY QUIRECAST_POPPLER_PREFIX)

install(TARGETS quirecast RUNTIME DESTINATION .)
if(TARGET pdf)
  install(TARGETS pdf RUNTIME DESTINATION .)
endif()
if(POPPLER_PREFIX)
  # pdf.exe finds share\poppler beside itself (poppler is built relocatable).
  install(DIRECTORY ${POPPLER_PREFIX}/share/poppler DESTINATION share)
  # One folder per library, from Debian's copyright file of its source package.
  install(DIRECTORY ${POPPLER_PREFIX}/share/licenses/ ${QUIRECAST_CLD2_PREFIX}/share/licenses/ DESTINATION licenses)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(QUIRECAST_PACKAGE_SYSTEM win64)
else()
  set(QUIRECAST_PACKAGE_SYSTEM win32)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Quirecast)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Quirecast-${PROJECT_VERSION}-${QUIRECAST_PACKAGE_SYSTEM})
set(CPACK_STRIP_FILES ON)
include(CPack)
