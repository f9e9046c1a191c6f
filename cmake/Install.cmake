# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
#
# The installed tree: bin/huecast, and a private folder ${HUECAST_INSTALL_PRIVATEDIR} with the
# plug-in bundle, the kit library, the command module and the two frame-file modules. Everything finds everything else
# relative to itself ($ORIGIN RUNPATHs, the executable's own path), so the tree works wherever it
# is unpacked and no installed file names the build tree.

set_target_properties(huecast PROPERTIES INSTALL_RPATH "$ORIGIN/${HUECAST_PRIVATE_FROM_BINDIR}")
# The command module sits beside the kit library it links; the bundle one folder below it.
set_target_properties(huecast_commands PROPERTIES INSTALL_RPATH "$ORIGIN")
set_target_properties(huecast_bundle PROPERTIES INSTALL_RPATH "$ORIGIN/..")

install(TARGETS huecast RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS huecast_kit huecast_frame_files huecast_common_frames huecast_clips huecast_commands LIBRARY DESTINATION ${HUECAST_INSTALL_PRIVATEDIR})
install(TARGETS huecast_bundle LIBRARY DESTINATION ${HUECAST_INSTALL_PRIVATEDIR}/Huecast.bundle)
list(TRANSFORM HUECAST_SKIN_IMAGES PREPEND ${PROJECT_SOURCE_DIR}/resources/
     OUTPUT_VARIABLE skin_files)
list(TRANSFORM skin_files APPEND .png)
install(FILES ${skin_files} DESTINATION ${HUECAST_INSTALL_PRIVATEDIR}/Huecast.bundle/resources)

install(FILES samples/luts/Cool.cube samples/luts/HighContrast.cube samples/luts/Warm.cube
        DESTINATION ${CMAKE_INSTALL_DATADIR}/huecast/luts)
install(FILES README.md LICENSE docs/farm.md cmake/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Kdenlive's description of the frei0r module, where Kdenlive looks for effects.
install(FILES adapters/frei0r/frei0r_huecast.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/kdenlive/effects)
install(FILES tools/huecast/huecast.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME huecast)

# The manual, from its markdown source with the one version filled in.
find_program(GO_MD2MAN go-md2man)
if(GO_MD2MAN)
    set(manual ${PROJECT_BINARY_DIR}/man/huecast.1)
    configure_file(docs/huecast.1.md ${PROJECT_BINARY_DIR}/man/huecast.1.md @ONLY)
    add_custom_command(OUTPUT ${manual} ${manual}.gz
        COMMAND ${GO_MD2MAN} -in ${manual}.md -out ${manual}
        COMMAND gzip -9nkf ${manual}
        DEPENDS ${PROJECT_BINARY_DIR}/man/huecast.1.md
        VERBATIM)
    add_custom_target(huecast_manual ALL DEPENDS ${manual})
    install(FILES ${manual}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    message(STATUS "go-md2man not found: the manual page is not built (scripts/deps installs it)")
endif()
