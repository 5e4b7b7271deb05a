target_sources(Vistrel PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Analysis.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AnalysisFrame.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AnalysisScope.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AnalysisSpectrum.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AnalysisTables.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AnalysisTempo.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AnalysisTransients.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Base64.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Detectors.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FixedDecimal.cpp
    ${CMAKE_CURRENT_LIST_DIR}/KWeighting.cpp
    ${CMAKE_CURRENT_LIST_DIR}/KickFilter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LevelBytes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MagnitudeSpectrum.cpp)

# The magnitudes never take the square root of a negative number; without errno handling the
# compiler is free to use the vector square root there.
if(NOT MSVC)
    set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/MagnitudeSpectrum.cpp
        TARGET_DIRECTORY Vistrel
        PROPERTIES COMPILE_OPTIONS -fno-math-errno)
endif()
