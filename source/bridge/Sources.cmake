find_package(Boost 1.81 REQUIRED)
find_package(Threads REQUIRED)

include(${PROJECT_SOURCE_DIR}/cmake/PatchJuceWebBrowser.cmake)

target_sources(Vistrel PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/BridgeDispatcher.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BridgedWebView.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HttpSession.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LoopbackServer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RequestGuard.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SocketSession.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StrictJson.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WireFormat.cpp)

target_link_libraries(Vistrel PRIVATE Boost::headers Threads::Threads)
