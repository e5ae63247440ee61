# Run by CPack once the packages are built (CPACK_POST_BUILD_SCRIPTS). CPack gets two things wrong
# for them that its settings cannot change; this repacks the packages concerned:
# - libvzprg1: CPack adds postinst and postrm scripts that run ldconfig. dpkg's ldconfig trigger (the
#   package's triggers file) does that, and Debian wants no maintainer scripts for it.
# - the -dbgsym packages: their md5sums name the files by their path in CPack's staging folder, so
#   dpkg --verify reports them missing; and they lack the copyright and changelog, which Debian gives
#   them by making /usr/share/doc/<package>-dbgsym a link to the package's own folder.
find_program(DPKG_DEB dpkg-deb REQUIRED)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${ARGN}: ${out}")
    endif()
endfunction()

foreach(file IN LISTS CPACK_PACKAGE_FILES)
    get_filename_component(name ${file} NAME)
    if(name MATCHES "^libvzprg1_.*\\.deb$")
        set(fix maintainer_scripts)
    elseif(name MATCHES "^(.+)-dbgsym_.*\\.ddeb$")
        set(fix dbgsym)
        set(package ${CMAKE_MATCH_1})
    else()
        continue()
    endif()
    set(tree ${file}.tree)
    file(REMOVE_RECURSE ${tree})
    run(${DPKG_DEB} --raw-extract ${file} ${tree})
    if(fix STREQUAL maintainer_scripts)
        file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
    else()
        file(MAKE_DIRECTORY ${tree}/usr/share/doc)
        file(CREATE_LINK ${package} ${tree}/usr/share/doc/${package}-dbgsym SYMBOLIC)
        file(GLOB_RECURSE debug_files LIST_DIRECTORIES false RELATIVE ${tree} ${tree}/usr/lib/debug/*)
        list(SORT debug_files)
        set(md5sums "")
        foreach(debug_file IN LISTS debug_files)
            file(MD5 ${tree}/${debug_file} sum)
            string(APPEND md5sums "${sum}  ${debug_file}\n")
        endforeach()
        file(WRITE ${tree}/DEBIAN/md5sums "${md5sums}")
    endif()
    run(${DPKG_DEB} --root-owner-group --build ${tree} ${file}.new)
    file(RENAME ${file}.new ${file})
    file(REMOVE_RECURSE ${tree})
endforeach()
