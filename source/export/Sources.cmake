target_sources(Vistrel PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ChildProcessRun.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ExportAudio.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ExportHandlers.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ExportJson.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ExportMux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ExportSession.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StrictBase64.cpp)
