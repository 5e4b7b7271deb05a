# Debian's JUCE ships without its bundled codecs and FFT: link the system libraries instead.
pkg_check_modules(VISTREL_ZLIB REQUIRED IMPORTED_TARGET zlib)
pkg_check_modules(VISTREL_FLAC REQUIRED IMPORTED_TARGET flac)
pkg_check_modules(VISTREL_VORBIS REQUIRED IMPORTED_TARGET vorbis vorbisenc vorbisfile)
pkg_check_modules(VISTREL_OGG REQUIRED IMPORTED_TARGET ogg)
if(VISTREL_USE_FFTW)
    pkg_check_modules(VISTREL_FFTW REQUIRED IMPORTED_TARGET fftw3f)
endif()
