// MP3 decoding with libmad into 16-bit PCM, and the block through which a
// decoding worker hands its PCM to a reader. Portable: no windows.h.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "Mp3Dither.h"

namespace Veld::Game {

/// One stream block: 160 frames of 1152 stereo 16-bit samples (320 mono).
constexpr uint32_t kMp3BlockSize = 737280;
/// The most PCM one frame writes: 1152 stereo 16-bit samples.
constexpr uint32_t kMp3MaxFrameBytes = 4608;
/// A block and room for the frame that fills it.
constexpr uint32_t kMp3BlockAlloc = kMp3BlockSize + kMp3MaxFrameBytes;

/// The dither state of the process: carried from frame to frame and from
/// file to file, never reset. Decodes take the lock once per frame.
struct Mp3SharedDither {
    std::mutex lock;
    Mp3DitherState left{};
    Mp3DitherState right{};
};
Mp3SharedDither& Mp3ProcessDither();

/// Where Mp3Decode puts its PCM. Called on the decoding thread.
class IMp3DecodeSink {
public:
    /// The first decoded frame's channel count (1 or 2) and sample rate; every
    /// frame is written with this channel count.
    virtual void OnFormat(unsigned channels, unsigned sampleRate) = 0;
    /// Room for kMp3MaxFrameBytes bytes; null stops the decode.
    virtual uint8_t* NextOutput() = 0;
    /// bytes were written at NextOutput(); false stops the decode.
    virtual bool OnFrame(uint32_t bytes) = 0;

protected:
    ~IMp3DecodeSink() = default;
};

/// One decoded frame: length samples per channel of libmad's 32-bit fixed
/// point (right is null for mono). Returns false to stop the decode.
using Mp3FrameFn = bool (*)(void* user, unsigned channels, unsigned sampleRate, const int32_t* left,
                            const int32_t* right, unsigned length);

/// The libmad loop: decodes the MPEG audio frames in data[0, size), the last
/// one included, and passes each to onFrame. Returns the number of frames
/// passed on.
uint32_t Mp3DecodeFrames(const uint8_t* data, size_t size, Mp3FrameFn onFrame, void* user);

/// Decodes the MPEG audio frames in data[0, size), the last one included,
/// with the process-wide dither. An Info frame is not audio; with the encoder
/// delay and padding of its LAME extension the PCM is trimmed to the encoded
/// samples. loop: the audio runs on from its first sample when it ends, until
/// the sink stops the decode. Returns the number of frames written.
uint32_t Mp3Decode(const uint8_t* data, size_t size, IMp3DecodeSink& sink, bool loop = false);

/// The stream block. One writer (the decoding worker) appends frames until
/// the block is complete: full, or the decode finished. One reader takes the
/// bytes in order, never past the fill, and releases a complete block when it
/// has taken its last byte; the writer waits for that release before it
/// writes again. What the frame that filled the block wrote past its end
/// starts the next block.
class CMp3Block {
public:
    CMp3Block() = default;
    ~CMp3Block() { Free(); }
    CMp3Block(const CMp3Block&) = delete;
    CMp3Block& operator=(const CMp3Block&) = delete;

    bool Allocate();
    void Free();
    bool IsAllocated() const { return m_pBlock != nullptr; }

    /// Empty and not finished. Only while nobody writes or reads.
    void Restart();

    // Writer.
    uint8_t* WritePointer() { return m_pBlock + m_dwWritten; }
    /// Publishes bytes written at WritePointer() up to the block size; true
    /// when the block is full.
    bool Commit(uint32_t bytes);
    /// The decode has ended: the block holds its last bytes.
    void Finish() { m_bFinished.store(true, std::memory_order_release); }
    /// Empties the block after the reader released it (or whole-mode copy),
    /// keeping what was written past its end.
    void Recycle() { ContinueIn(m_pBlock); }
    /// Gives the block's memory (kMp3BlockAlloc bytes, array new, Fill() of
    /// them used) to the caller and continues in a new allocation; null, and
    /// nothing changed, when that fails. Only without a concurrent reader.
    uint8_t* Detach();
    const uint8_t* Data() const { return m_pBlock; }
    uint32_t Fill() const { return m_dwBlockFill.load(std::memory_order_acquire); }

    // Reader.
    /// The writer is done with the block: it is full, or the decode finished.
    bool IsComplete() const
    {
        return m_bFinished.load(std::memory_order_acquire) ||
               m_dwBlockFill.load(std::memory_order_acquire) >= kMp3BlockSize;
    }
    /// Copies at most size bytes from the read position; *released is set
    /// when the read took the last byte of a complete block.
    uint32_t Take(uint8_t* out, uint32_t size, bool* released);

private:
    /// Continues in block (m_pBlock or a new one) with what was written past
    /// the full block.
    void ContinueIn(uint8_t* block);

    uint8_t* m_pBlock = nullptr;
    std::atomic<uint32_t> m_dwBlockFill{0};
    uint32_t m_dwBlockReadPos = 0;
    uint32_t m_dwWritten = 0; // the writer's: the fill and what lies past the block
    std::atomic<bool> m_bFinished{false};
};

} // namespace Veld::Game
