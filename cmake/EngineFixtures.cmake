# Sound files made at build time for tests and benchmarks.
#
# engine_add_wav_fixture(OUT file.wav SECONDS s CHANNELS c FREQUENCY hz)
#   a 44100 Hz 16-bit sine tone (in stereo the right channel at twice hz).
# engine_add_mp3_fixture(OUT file.mp3 [SECONDS s] [CHANNELS 1|2] [BITRATE kbps]
#                        [RATE hz] [FREQUENCY hz|from:to] [NOTAG])
#   a tone, 440 Hz by default (twice the frequency on the right in stereo), or
#   a sweep, at RATE (44100 by default) encoded with lame; its source stays
#   beside it as file.mp3.wav. SECONDS may be a fraction such as 12345/44100.
# Add OUT to a target's sources so that it is made first. ENGINE_FIXTURES_FOUND
# tells whether lame and python3 are there.
find_program(ENGINE_LAME lame)
find_package(Python3 COMPONENTS Interpreter)
if(ENGINE_LAME AND Python3_Interpreter_FOUND)
  set(ENGINE_FIXTURES_FOUND TRUE)
else()
  set(ENGINE_FIXTURES_FOUND FALSE)
endif()
set(ENGINE_SINE_WAV ${CMAKE_CURRENT_LIST_DIR}/sine_wav.py)

function(engine_add_wav_fixture)
  cmake_parse_arguments(F "" "OUT;SECONDS;CHANNELS;FREQUENCY" "" ${ARGN})
  add_custom_command(
    OUTPUT "${F_OUT}"
    COMMAND Python3::Interpreter "${ENGINE_SINE_WAV}" "${F_OUT}" ${F_SECONDS} 44100 ${F_CHANNELS} ${F_FREQUENCY}
    DEPENDS "${ENGINE_SINE_WAV}"
    VERBATIM)
endfunction()

function(engine_add_mp3_fixture)
  cmake_parse_arguments(F "NOTAG" "OUT;SECONDS;CHANNELS;BITRATE;RATE;FREQUENCY" "" ${ARGN})
  foreach(default SECONDS=1 CHANNELS=2 BITRATE=128 RATE=44100 FREQUENCY=440)
    string(REPLACE "=" ";" default ${default})
    list(GET default 0 name)
    list(GET default 1 value)
    if(NOT F_${name})
      set(F_${name} ${value})
    endif()
  endforeach()
  # lame takes the rate in kHz: 22050 as 22.050.
  math(EXPR khz "${F_RATE} / 1000")
  math(EXPR hz "${F_RATE} % 1000 + 1000")
  string(SUBSTRING ${hz} 1 3 hz)
  if(F_CHANNELS EQUAL 1)
    set(mode m)
  else()
    set(mode j)
  endif()
  set(tag)
  if(F_NOTAG)
    set(tag -t) # no Info frame: the decode keeps the encoder's delay and padding, in whole frames
  endif()
  add_custom_command(
    OUTPUT "${F_OUT}"
    COMMAND Python3::Interpreter "${ENGINE_SINE_WAV}" "${F_OUT}.wav" ${F_SECONDS} ${F_RATE} ${F_CHANNELS} ${F_FREQUENCY}
    COMMAND "${ENGINE_LAME}" --quiet ${tag} --resample ${khz}.${hz} -m ${mode} -b ${F_BITRATE} --cbr "${F_OUT}.wav"
            "${F_OUT}"
    BYPRODUCTS "${F_OUT}.wav"
    DEPENDS "${ENGINE_SINE_WAV}"
    COMMENT "Encoding test tone ${F_OUT}"
    VERBATIM)
endfunction()
