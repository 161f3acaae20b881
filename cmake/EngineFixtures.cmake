# Sound files made at build time for tests and benchmarks.
#
# engine_add_wav_fixture(OUT file.wav SECONDS s CHANNELS c FREQUENCY hz)
#   a 44100 Hz 16-bit sine tone (in stereo the right channel at twice hz).
# engine_add_mp3_fixture(OUT file.mp3 [SECONDS s] [CHANNELS 1|2] [BITRATE kbps] [NOTAG])
#   a 440 Hz tone (880 Hz on the right in stereo) encoded with lame.
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
  cmake_parse_arguments(F "NOTAG" "OUT;SECONDS;CHANNELS;BITRATE" "" ${ARGN})
  if(NOT F_SECONDS)
    set(F_SECONDS 1)
  endif()
  if(NOT F_CHANNELS)
    set(F_CHANNELS 2)
  endif()
  if(NOT F_BITRATE)
    set(F_BITRATE 128)
  endif()
  if(F_CHANNELS EQUAL 1)
    set(mode m)
  else()
    set(mode j)
  endif()
  set(tag)
  if(F_NOTAG)
    set(tag -t) # no info frame: the decoded length is exactly the frames of the tone
  endif()
  add_custom_command(
    OUTPUT "${F_OUT}"
    COMMAND Python3::Interpreter "${ENGINE_SINE_WAV}" "${F_OUT}.wav" ${F_SECONDS} 44100 ${F_CHANNELS} 440
    COMMAND "${ENGINE_LAME}" --quiet ${tag} --resample 44.1 -m ${mode} -b ${F_BITRATE} --cbr "${F_OUT}.wav" "${F_OUT}"
    COMMAND "${CMAKE_COMMAND}" -E remove "${F_OUT}.wav"
    DEPENDS "${ENGINE_SINE_WAV}"
    COMMENT "Encoding test tone ${F_OUT}"
    VERBATIM)
endfunction()
