# Folders reach each other only through what they link.
#
# Every folder's library offers the whole source root as its include path, so
# the compiler alone would let any file include any folder's headers. What
# keeps a folder honest is this check: before anything is compiled, every
# target's sources, and every project header they include in turn, may name
# (#include "<folder>/...") only the target's own folder and the folders of
# the project libraries it links, directly or through their public links. A
# private link gives nothing on to the linker's users. The check runs again
# whenever a source or header changes, and fails the build with the file, the
# include and the missing link.
#
# pelloran_check_includes() is called once, after every target exists.

# Every target defined in dir and the folders below it.
function(_pelloran_targets_below dir out)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(sub ${subdirs})
        _pelloran_targets_below(${sub} more)
        list(APPEND targets ${more})
    endforeach()
    set(${out} ${targets} PARENT_SCOPE)
endfunction()

# The top folder of the source tree a target is defined in ("tests" for tests/schedule).
function(_pelloran_target_folder target out)
    get_target_property(dir ${target} SOURCE_DIR)
    file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${dir})
    string(REGEX REPLACE "/.*" "" top "${rel}")
    set(${out} "${top}" PARENT_SCOPE)
endfunction()

# The folders whose headers the target's sources may include.
function(_pelloran_reachable_folders target out)
    _pelloran_target_folder(${target} own)
    set(folders ${own})
    get_target_property(queue ${target} LINK_LIBRARIES)
    set(seen)
    while(queue)
        list(POP_FRONT queue lib)
        # Plain library names, imported targets and $<LINK_ONLY:...> of
        # private links carry no folder of ours.
        if(NOT TARGET "${lib}" OR lib IN_LIST seen)
            continue()
        endif()
        list(APPEND seen ${lib})
        get_target_property(imported ${lib} IMPORTED)
        if(imported)
            continue()
        endif()
        _pelloran_target_folder(${lib} folder)
        if(folder)
            list(APPEND folders ${folder})
        endif()
        get_target_property(public ${lib} INTERFACE_LINK_LIBRARIES)
        if(public)
            list(APPEND queue ${public})
        endif()
    endwhile()
    list(REMOVE_DUPLICATES folders)
    set(${out} ${folders} PARENT_SCOPE)
endfunction()

function(pelloran_check_includes)
    _pelloran_targets_below(${CMAKE_SOURCE_DIR} all)
    set(config "")
    set(checked)
    set(folders)
    foreach(t ${all})
        get_target_property(type ${t} TYPE)
        if(NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|EXECUTABLE)$")
            continue()
        endif()
        _pelloran_target_folder(${t} own)
        _pelloran_reachable_folders(${t} reach)
        get_target_property(dir ${t} SOURCE_DIR)
        get_target_property(srcs ${t} SOURCES)
        set(files)
        foreach(src ${srcs})
            get_filename_component(abs "${src}" ABSOLUTE BASE_DIR ${dir})
            string(FIND "${abs}" "${CMAKE_BINARY_DIR}/" generated)
            if(abs MATCHES "\\.(h|cpp)$" AND NOT generated EQUAL 0)
                list(APPEND files ${abs})
            endif()
        endforeach()
        list(APPEND checked ${t})
        list(APPEND folders ${own})
        string(APPEND config "set(reach_${t} \"${reach}\")\nset(sources_${t} \"${files}\")\n")
    endforeach()
    list(REMOVE_DUPLICATES folders)
    string(PREPEND config "set(ROOT \"${CMAKE_SOURCE_DIR}\")\nset(FOLDERS \"${folders}\")\nset(TARGETS \"${checked}\")\n")
    set(config_file ${CMAKE_BINARY_DIR}/include-check/targets.cmake)
    file(CONFIGURE OUTPUT ${config_file} CONTENT "${config}" @ONLY)

    # Any source or header of the project folders may change what is included.
    set(patterns)
    foreach(f ${folders})
        list(APPEND patterns ${CMAKE_SOURCE_DIR}/${f}/*.h ${CMAKE_SOURCE_DIR}/${f}/*.cpp)
    endforeach()
    file(GLOB_RECURSE watched CONFIGURE_DEPENDS ${patterns})
    set(stamp ${CMAKE_BINARY_DIR}/include-check/passed)
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} -DCONFIG=${config_file} -DSTAMP=${stamp}
                -P ${CMAKE_SOURCE_DIR}/cmake/CheckIncludes.cmake
        DEPENDS ${watched} ${config_file} ${CMAKE_SOURCE_DIR}/cmake/CheckIncludes.cmake
        COMMENT "Checking that every folder includes only folders it links"
        VERBATIM)
    add_custom_target(pelloran_include_check DEPENDS ${stamp})
    foreach(t ${checked})
        add_dependencies(${t} pelloran_include_check)
    endforeach()
endfunction()
