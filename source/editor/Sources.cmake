target_sources(Vistrel PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/FramePump.cpp
    ${CMAKE_CURRENT_LIST_DIR}/KeyForwarding.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PageCalls.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ParameterSnapshot.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UiFolderSearch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UiResourceProvider.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../PluginEditor.cpp)

# The checkout's page folder, the last place the editor looks for the page.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/UiFolderSearch.cpp
    TARGET_DIRECTORY Vistrel
    PROPERTIES COMPILE_DEFINITIONS "VISTREL_DEVELOPMENT_UI_DIR=\"${PROJECT_SOURCE_DIR}/ui\"")

include(${PROJECT_SOURCE_DIR}/cmake/InstallUi.cmake)

target_sources(Vistrel PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/WindowCalls.cpp)
