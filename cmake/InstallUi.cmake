# Puts the page (ui/) into every artefact, where the editor's folder search finds it beside the
# running binary: the standalone's "Resources/ui", the VST3 bundle's "Contents/Resources/ui" and
# the LV2 bundle's "Resources/ui". The page's own tests stay behind.
#
# Included from the build, it adds the copy step; run with -P, it is the copy itself.

if(CMAKE_SCRIPT_MODE_FILE)
    if(NOT VISTREL_UI_SOURCE OR NOT VISTREL_UI_DEST)
        message(FATAL_ERROR "InstallUi.cmake needs -DVISTREL_UI_SOURCE=... -DVISTREL_UI_DEST=...")
    endif()
    file(REMOVE_RECURSE "${VISTREL_UI_DEST}")
    if(EXISTS "${VISTREL_UI_SOURCE}")
        file(MAKE_DIRECTORY "${VISTREL_UI_DEST}")
        file(COPY "${VISTREL_UI_SOURCE}/" DESTINATION "${VISTREL_UI_DEST}"
             PATTERN "test" EXCLUDE
             PATTERN "*.test.js" EXCLUDE
             PATTERN ".*" EXCLUDE)
    endif()
    return()
endif()

# One copy step for all three artefacts, run whenever a page file changed; the plug-in targets
# depend on it, so building any of them leaves its artefact with the current page.
file(GLOB_RECURSE _vistrel_ui_files CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/ui/*")
set(_vistrel_ui_stamp "${CMAKE_BINARY_DIR}/vistrel_ui_installed.stamp")
set(_vistrel_ui_commands)

foreach(_format Standalone VST3 LV2)
    if(NOT TARGET Vistrel_${_format})
        continue()
    endif()
    if(_format STREQUAL "Standalone")
        # The output folder's property, not $<TARGET_FILE_DIR>, which would make a dependency cycle.
        get_target_property(_folder Vistrel_Standalone RUNTIME_OUTPUT_DIRECTORY)
        set(_dest "${_folder}/Resources/ui")
    else()
        get_target_property(_bundle Vistrel_${_format} JUCE_PLUGIN_ARTEFACT_FILE)
        if(_format STREQUAL "VST3")
            set(_dest "${_bundle}/Contents/Resources/ui")
        else()
            set(_dest "${_bundle}/Resources/ui")
        endif()
    endif()
    list(APPEND _vistrel_ui_commands
        COMMAND ${CMAKE_COMMAND} -DVISTREL_UI_SOURCE=${PROJECT_SOURCE_DIR}/ui "-DVISTREL_UI_DEST=${_dest}"
                -P ${PROJECT_SOURCE_DIR}/cmake/InstallUi.cmake)
endforeach()

add_custom_command(OUTPUT "${_vistrel_ui_stamp}"
    ${_vistrel_ui_commands}
    COMMAND ${CMAKE_COMMAND} -E touch "${_vistrel_ui_stamp}"
    DEPENDS ${_vistrel_ui_files} ${PROJECT_SOURCE_DIR}/cmake/InstallUi.cmake
    COMMENT "Installing ui/ into the Standalone, VST3 and LV2 artefacts"
    VERBATIM)
add_custom_target(vistrel_ui_install DEPENDS "${_vistrel_ui_stamp}")

foreach(_format Standalone VST3 LV2)
    if(TARGET Vistrel_${_format})
        add_dependencies(Vistrel_${_format} vistrel_ui_install)
    endif()
endforeach()
