# Installing on Linux and the Debian package. Included by the top-level
# CMakeLists.txt when not building for Windows.
#
# Layout under the prefix (relocatable: the tool finds its engine library
# through a run path relative to itself, and the library finds what sits
# beside it from its own location):
#   bin/xslvalidate
#   bin/xslvalidate-verdict                       reads the reports, gives a verdict
#   lib/xslvalidate/libxslvalidate-jvmengine.so   engine library
#   lib/xslvalidate/xslvalidate-engine-server     engine server, started by the
#                                                 library on a call and kept
#                                                 for later calls
#   lib/xslvalidate/xslvalidate-jvmengine.jsa     class-data archive, if built
#   share/man/man1/xslvalidate.1.gz, xslvalidate-verdict.1.gz
#   share/doc/xslvalidate/README.md, copyright
# The JVM and the Saxon jar come from Debian's packages, at their fixed
# system paths.

set(XSLVALIDATE_PRIVATE_LIBDIR "lib/xslvalidate")

set_target_properties(xslvalidate PROPERTIES
  INSTALL_RPATH "$ORIGIN/../${XSLVALIDATE_PRIVATE_LIBDIR}")

set_target_properties(xslvalidate-verdict PROPERTIES
  INSTALL_RPATH "$ORIGIN/../${XSLVALIDATE_PRIVATE_LIBDIR}")

install(TARGETS xslvalidate xslvalidate-verdict RUNTIME DESTINATION bin)
install(TARGETS jvmengine LIBRARY DESTINATION "${XSLVALIDATE_PRIVATE_LIBDIR}")
install(FILES "$<TARGET_FILE_DIR:jvmengine>/xslvalidate-jvmengine.jsa"
        DESTINATION "${XSLVALIDATE_PRIVATE_LIBDIR}" OPTIONAL)

# Makes the manual page `name`.1 from doc/`name`.1.in, with the version
# filled in, compressed as Debian does, and installs it.
function(xslvalidate_manual_page name)
  set(page "${PROJECT_BINARY_DIR}/doc/${name}.1")
  configure_file("doc/${name}.1.in" "${page}" @ONLY)
  add_custom_command(
    OUTPUT "${page}.gz"
    COMMAND gzip -9nkf "${page}"
    DEPENDS "${page}"
    COMMENT "Compressing the manual page ${name}(1)"
    VERBATIM)
  add_custom_target(manual_${name} ALL DEPENDS "${page}.gz")
  install(FILES "${page}.gz" DESTINATION share/man/man1)
endfunction()
xslvalidate_manual_page(xslvalidate)
xslvalidate_manual_page(xslvalidate-verdict)
install(FILES README.md NEWS.md doc/usage.md DESTINATION share/doc/xslvalidate)
install(FILES LICENSE DESTINATION share/doc/xslvalidate RENAME copyright)

# `cpack` in the build folder makes xslvalidate_<version>_amd64.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME xslvalidate)
set(CPACK_PACKAGE_VENDOR "The xslvalidate developers")
set(CPACK_PACKAGE_CONTACT "The xslvalidate developers <xslvalidate@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "validate an XML invoice against XSLT validation stylesheets")
set(CPACK_PACKAGE_DESCRIPTION
    "xslvalidate checks one XML document, in practice an electronic invoice
(UBL, CII), against one or more XSLT validation stylesheets such as the
EN 16931, XRechnung or PEPPOL rule sets, and writes each stylesheet's
report beside the document. It runs Saxon-HE in a JVM kept by a
background engine server of the user's own, so that later commands reuse
the JVM and the compiled rule sets; xslvalidate-verdict reads the reports
and says whether the document is accepted.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
# The engine library links the JVM at its Debian path and runs Debian's
# Saxon jar and checks its class-data archive with zlib; the C++ runtime is
# g++ 12's. JDK 17 is a contract, not a default: the engine server's way of
# cancelling a run works on no later JDK (doc/engine-server.md).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1 (>= 3.0), zlib1g (>= 1:1.2.0), libmicrohttpd12 (>= 0.9.75), openjdk-17-jre-headless, libsaxonhe-java")
include(CPack)
