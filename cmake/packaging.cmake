# What is installed, and the Debian package made of it (cpack -G DEB in the build folder).
#
# On Windows every file lies beside the program, as the build leaves it. Elsewhere the programs go
# to <prefix>/bin and their files to <prefix>/share/kestrelwick, the data folder the program looks
# in after its own folder (base/program_files.h names it relative to bin).
include(GNUInstallDirs)

if(WIN32)
    set(KW_INSTALL_DATA ${CMAKE_INSTALL_BINDIR})
else()
    set(KW_INSTALL_DATA ${CMAKE_INSTALL_DATADIR}/kestrelwick)
    if(NOT CMAKE_INSTALL_BINDIR STREQUAL "bin" OR NOT CMAKE_INSTALL_DATADIR STREQUAL "share")
        message(WARNING "The program finds its files in ../share/kestrelwick beside its own "
                        "folder; with these install folders it will not find them.")
    endif()
endif()

foreach(program kestrelwick kestrelwick-plot)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

# The built-in CAD's template and the DWG converter, as kw_add_cad_template lays them out.
if(KW_CAD_TEMPLATE AND (TARGET kestrelwick OR TARGET kestrelwick-plot))
    install(FILES ${KW_CAD_TEMPLATE} DESTINATION ${KW_INSTALL_DATA}/TEMPLATE)
    if(KW_DWG2DXF_DIR)
        install(PROGRAMS ${KW_DWG2DXF_DIR}/kw-dwg2dxf.mjs DESTINATION ${KW_INSTALL_DATA}/dwg2dxf)
        install(FILES ${KW_DWG2DXF_DIR}/package.json ${KW_DWG2DXF_DIR}/package-lock.json
                DESTINATION ${KW_INSTALL_DATA}/dwg2dxf)
        if(EXISTS ${KW_DWG2DXF_DIR}/node_modules)
            install(DIRECTORY ${KW_DWG2DXF_DIR}/node_modules DESTINATION ${KW_INSTALL_DATA}/dwg2dxf)
        else()
            message(STATUS "dwg2dxf/node_modules missing: the package cannot convert DWG drawings")
        endif()
    endif()
endif()

if(TARGET kestrelwick)
    install(FILES ${KW_PROMO_PAGES} DESTINATION ${KW_INSTALL_DATA}/pages)
    install(FILES ${KW_HELP_PAGES} DESTINATION ${KW_INSTALL_DATA}/help)
    if(TARGET kw_help)
        install(FILES $<TARGET_FILE_DIR:kestrelwick>/Kestrelwick.chm DESTINATION ${KW_INSTALL_DATA})
    endif()
endif()

if(WIN32)
    return()
endif()

# The desktop entry with the program's icon, drawn by the program itself.
if(TARGET kestrelwick AND TARGET kestrelwick-icon)
    set(icons ${CMAKE_BINARY_DIR}/icons)
    add_custom_command(OUTPUT ${icons}/256x256/apps/kestrelwick.png
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                $<TARGET_FILE:kestrelwick-icon> ${icons}
        DEPENDS kestrelwick-icon
        COMMENT "Drawing the program's icon"
        VERBATIM)
    add_custom_target(kw_icons ALL DEPENDS ${icons}/256x256/apps/kestrelwick.png)
    install(DIRECTORY ${icons}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
    install(FILES ${PROJECT_SOURCE_DIR}/app/desktop/kestrelwick.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()

# The manual page of kestrelwick-plot, made from its --help (English).
find_program(KW_HELP2MAN help2man)
find_program(KW_GZIP gzip)
if(TARGET kestrelwick-plot AND KW_HELP2MAN AND KW_GZIP)
    set(folder ${CMAKE_BINARY_DIR}/man/man1)
    add_custom_command(OUTPUT ${folder}/kestrelwick-plot.1.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
                ${KW_HELP2MAN} --no-info --section=1 --version-string=${PROJECT_VERSION}
                "--name=batch-plot the title-block frames of DXF and DWG drawings"
                --output=${folder}/kestrelwick-plot.1 $<TARGET_FILE:kestrelwick-plot>
        COMMAND ${KW_GZIP} -9nf ${folder}/kestrelwick-plot.1
        DEPENDS kestrelwick-plot
        COMMENT "Writing the manual page of kestrelwick-plot"
        VERBATIM)
    add_custom_target(kw_manual ALL DEPENDS ${folder}/kestrelwick-plot.1.gz)
    install(FILES ${folder}/kestrelwick-plot.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
elseif(TARGET kestrelwick-plot)
    message(STATUS "help2man not found: kestrelwick-plot has no manual page")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrelwick)
set(CPACK_PACKAGE_VENDOR Quillmere)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Batch plotting of CAD drawings, frame by frame")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrelwick finds every title-block frame of a DXF or DWG drawing, puts the frames in \
reading order and plots each as its own page, to PDF or a printer, scaled so that the frame's \
width becomes a standard paper length. The desktop program and the kestrelwick-plot command \
work with the built-in CAD; DWG drawings are converted by LibreDWG, run by Node.js.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillmere <lqw@quillmere.example>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.quillmere.example/kestrelwick/")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not linked, so not found by shlibdeps: Node.js runs the DWG converter, and the pages need a font
# with Chinese characters.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "nodejs (>= 18), fonts-noto-cjk")
include(CPack)
