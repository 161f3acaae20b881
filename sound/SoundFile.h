// Sound files as the sound objects read them: a PCM format, a size and raw
// PCM bytes; and the registry that picks the reader for a file extension.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <string>

namespace Veld {
namespace Game {

/// Posted by a streamed MP3 file's decoding worker when its first block of
/// PCM is ready; no parameters.
const UINT WM_SOUND_DATA_READY = 0x062C;

/// The sound object that reads a file. Readers that also implement
/// ICallerThread receive the messages of the file's decoding worker.
class IReadTracer {
public:
    virtual ~IReadTracer() {}
};

class ISoundFile {
public:
    /// whole: the reader loads the whole sound (true) or streams it (false).
    virtual HRESULT Open(const wchar_t* path, bool whole) = 0;
    virtual HRESULT Close() = 0;
    /// Copies at most size bytes; fewer means the end of the data.
    virtual HRESULT Read(BYTE* buffer, DWORD size, DWORD* bytesRead) = 0;
    /// Rewinds to the first PCM byte (restarts decoding of a stream).
    virtual HRESULT ResetFile() = 0;
    virtual WAVEFORMATEX* GetFormat() = 0;
    /// Bytes the reader's buffer must hold: the whole sound, or one stream block.
    virtual DWORD GetSize() = 0;
    virtual void SetReadTracer(IReadTracer* tracer) = 0;
    /// Streamed: true makes the data run on from its first sample when it
    /// ends, without end; takes effect at the next ResetFile.
    virtual void SetLoop(bool) {}
    /// Owners delete file objects through this interface.
    virtual ~ISoundFile() {}
};

typedef ISoundFile* (*SoundFileFactory)();

/// Adds extension (folded to lower case) with its factory; false when the
/// extension is registered already (the first entry stays).
bool RegisterSoundFileType(const std::wstring& extension, SoundFileFactory factory);

/// A new file object for extension, looked up exactly as given; null when the
/// extension is unknown or the factory fails.
ISoundFile* CreateSoundFile(const std::wstring& extension);

} // namespace Game
} // namespace Veld
