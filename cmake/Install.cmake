# Installs the shared library (with its SONAME links), the public headers,
# lxdocx, a CMake package (find_package(LorvexDocx) gives
# LorvexDocx::LorvexDocx) and lorvexdocx.pc. The static libraries the tests
# link are not installed.
include(CMakePackageConfigHelpers)

set(LXDOCX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/LorvexDocx)

install(TARGETS LorvexDocx EXPORT LorvexDocxTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS lxdocx RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(EXPORT LorvexDocxTargets NAMESPACE LorvexDocx:: DESTINATION ${LXDOCX_CMAKE_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/LorvexDocxConfig.cmake.in
  ${PROJECT_BINARY_DIR}/LorvexDocxConfig.cmake INSTALL_DESTINATION ${LXDOCX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/LorvexDocxConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/LorvexDocxConfig.cmake ${PROJECT_BINARY_DIR}/LorvexDocxConfigVersion.cmake
  DESTINATION ${LXDOCX_CMAKE_DIR})

# pkg-config: the prefix is found from where the file lies, so the package
# works wherever it is installed (also with cmake --install --prefix).
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  message(FATAL_ERROR "lorvexdocx.pc needs CMAKE_INSTALL_LIBDIR and CMAKE_INSTALL_INCLUDEDIR relative to the prefix")
endif()
file(RELATIVE_PATH LXDOCX_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${PROJECT_SOURCE_DIR}/cmake/lorvexdocx.pc.in ${PROJECT_BINARY_DIR}/lorvexdocx.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/lorvexdocx.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
