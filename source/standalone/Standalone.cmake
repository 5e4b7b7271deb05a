# The standalone application: JUCE's holder and filter window, with the application object of
# StandaloneApp.cpp instead of JUCE's default one.
if(TARGET Vistrel_Standalone)
    target_sources(Vistrel_Standalone PRIVATE ${CMAKE_CURRENT_LIST_DIR}/StandaloneApp.cpp)
    target_compile_definitions(Vistrel_Standalone PRIVATE JUCE_USE_CUSTOM_PLUGIN_STANDALONE_APP=1)
endif()
