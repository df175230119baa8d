# Installation: the shared library, the public header, a CMake package
# (find_package(MorvexNative) -> Morvex::Native) and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(MORVEX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/MorvexNative)

install(TARGETS MorvexNative EXPORT MorvexNativeTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/morvex/native.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/morvex)
install(EXPORT MorvexNativeTargets NAMESPACE Morvex:: DESTINATION ${MORVEX_CMAKE_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/MorvexNativeConfig.cmake.in
  ${PROJECT_BINARY_DIR}/MorvexNativeConfig.cmake INSTALL_DESTINATION ${MORVEX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MorvexNativeConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MorvexNativeConfig.cmake
              ${PROJECT_BINARY_DIR}/MorvexNativeConfigVersion.cmake
        DESTINATION ${MORVEX_CMAKE_DIR})

# The prefix is substituted at install time, so CMAKE_INSTALL_PREFIX and
# `cmake --install --prefix` are both respected.
install(CODE "
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  set(CMAKE_INSTALL_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(CMAKE_INSTALL_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/cmake/morvex-native.pc.in\"
                 \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/morvex-native.pc\" @ONLY)
")

# The folder layout a .NET package ships its native files in, one runtime
# identifier per build: `cmake --install BUILD --component runtimes --prefix DIR`
# for the Linux build and both Windows builds fills DIR/runtimes/linux-x64/native,
# win-x86/native and win-x64/native. Not part of a plain install.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(MORVEX_DOTNET_RID win-x86)
elseif(WIN32)
  set(MORVEX_DOTNET_RID win-x64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$" AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(MORVEX_DOTNET_RID linux-x64)
endif()
if(MORVEX_DOTNET_RID)
  install(TARGETS MorvexNative
          LIBRARY DESTINATION runtimes/${MORVEX_DOTNET_RID}/native COMPONENT runtimes EXCLUDE_FROM_ALL
          RUNTIME DESTINATION runtimes/${MORVEX_DOTNET_RID}/native COMPONENT runtimes EXCLUDE_FROM_ALL)
endif()
