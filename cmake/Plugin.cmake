set(VISTREL_LV2_URI "https://quorvane.com/plugins/vistrel")

juce_add_plugin(Vistrel
    PRODUCT_NAME "Quorvane Vistrel"
    COMPANY_NAME "Quorvane"
    COMPANY_EMAIL "support@quorvane.com"
    COMPANY_WEBSITE "https://quorvane.com"
    BUNDLE_ID "com.quorvane.vistrel"
    VERSION "${PROJECT_VERSION}"
    PLUGIN_MANUFACTURER_CODE Qrvn
    PLUGIN_CODE Vstr
    FORMATS Standalone VST3 LV2
    LV2URI "${VISTREL_LV2_URI}"
    IS_SYNTH FALSE
    NEEDS_MIDI_INPUT TRUE
    NEEDS_MIDI_OUTPUT FALSE
    IS_MIDI_EFFECT FALSE
    EDITOR_WANTS_KEYBOARD_FOCUS TRUE
    NEEDS_WEB_BROWSER TRUE
    COPY_PLUGIN_AFTER_BUILD FALSE
    VST3_CATEGORIES Fx Analyzer)

# The plug-in's shared-code target is the one static library that holds all native code. The
# format wrappers, the tests, the benchmarks and the tools link it, so nothing compiles twice.
add_subdirectory(source)
include(${PROJECT_SOURCE_DIR}/source/standalone/Standalone.cmake)

target_compile_definitions(Vistrel
    PUBLIC
        JUCE_WEB_BROWSER=1
        JUCE_USE_CURL=0
        JUCE_VST3_CAN_REPLACE_VST2=0
        JUCE_DISPLAY_SPLASH_SCREEN=0
        JucePlugin_LV2URI="${VISTREL_LV2_URI}"
        $<$<BOOL:${VISTREL_USE_FFTW}>:JUCE_DSP_USE_STATIC_FFTW=1>)

target_link_libraries(Vistrel
    PRIVATE
        juce::juce_audio_utils
        juce::juce_audio_formats
        juce::juce_dsp
        juce::juce_gui_extra
    PUBLIC
        juce::juce_recommended_config_flags
        juce::juce_recommended_warning_flags
        PkgConfig::VISTREL_ZLIB
        PkgConfig::VISTREL_FLAC
        PkgConfig::VISTREL_VORBIS
        PkgConfig::VISTREL_OGG
        $<$<BOOL:${VISTREL_USE_FFTW}>:PkgConfig::VISTREL_FFTW>)

# Consumers of the static library (tests, tools, benchmarks) see the same headers and
# definitions as the plug-in, without compiling the JUCE module sources again.
add_library(vistrel_core INTERFACE)
target_link_libraries(vistrel_core INTERFACE Vistrel)
target_include_directories(vistrel_core INTERFACE
    $<TARGET_PROPERTY:Vistrel,INCLUDE_DIRECTORIES>)
target_compile_definitions(vistrel_core INTERFACE
    $<TARGET_PROPERTY:Vistrel,COMPILE_DEFINITIONS>)

# Sanitizer trees exist for the in-process tests; the plug-in formats are built only on request.
if(VISTREL_SANITIZE)
    set_target_properties(Vistrel_VST3 Vistrel_LV2 Vistrel_Standalone PROPERTIES EXCLUDE_FROM_ALL TRUE)
endif()
