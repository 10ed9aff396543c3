#include "formats/FlacReader.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "engine/record/AudioFile.h"
#include "formats/Bytes.h"
#include "formats/ReadOnlyFile.h"
#include "formats/ReaderSupport.h"
#include "formats/SignatureChunk.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

using Decoder = std::unique_ptr<FLAC__StreamDecoder, flac::Deleter<FLAC__stream_decoder_delete>>;

// An APPLICATION block's data follows its 4-byte application ID.
constexpr uint32_t kApplicationIdSize = 4;

// The foreign chunks an APPLICATION block can hold, by the ID its data begins with.
enum ForeignChunk { kSignature, kID3, kBext, kIXML, kForeignCount };

constexpr readers::KnownChunk kForeignChunks[kForeignCount] = {
    {"QUER", "<ERROR> There can only be one QUER chunk"},
    {"ID3 ", "<ERROR> There can only be one ID3v2 chunk"},
    {"bext", "<ERROR> There can only be one BEXT chunk"},
    {"iXML", "<ERROR> There can only be one IXML chunk"},
};

const uint8_t* applicationData(const FLAC__StreamMetadata& block) {
    return block.data.application.data;
}

uint32_t applicationDataLength(const FLAC__StreamMetadata& block) {
    return block.length > kApplicationIdSize ? block.length - kApplicationIdSize : 0;
}

// The most frames a byte of FLAC can carry, with room to spare: the smallest frame (a
// constant subframe per channel, a 2-byte block size, the two checksums) holds at most
// 65535 frames in no fewer than 10 bytes.
constexpr uint64_t kMaxFramesPerByte = 8192;

// One decode of one file. libFLAC calls back into it through the static trampolines; every
// failure a callback meets is recorded here and fails the job once the decoder returns.
class FlacDecode {
  public:
    FlacDecode(AudioFile& job, ReadOnlyFile& file, bool headerOnly)
        : job_(job), file_(file), headerOnly_(headerOnly) {}

    void run();

  private:
    static FLAC__StreamDecoderReadStatus readCallback(const FLAC__StreamDecoder*, FLAC__byte buffer[],
                                                      size_t* bytes, void* self) {
        return static_cast<FlacDecode*>(self)->read(buffer, bytes);
    }
    static FLAC__StreamDecoderWriteStatus writeCallback(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                        const FLAC__int32* const buffer[], void* self) {
        return static_cast<FlacDecode*>(self)->write(*frame, buffer);
    }
    static void metadataCallback(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block, void* self) {
        static_cast<FlacDecode*>(self)->metadata(*block);
    }
    static void errorCallback(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* self) {
        static_cast<FlacDecode*>(self)->streamError(status);
    }

    FLAC__StreamDecoderReadStatus read(FLAC__byte* buffer, size_t* bytes);
    FLAC__StreamDecoderWriteStatus write(const FLAC__Frame& frame, const FLAC__int32* const* buffer);
    void metadata(const FLAC__StreamMetadata& block);
    void streamError(FLAC__StreamDecoderErrorStatus status);

    void keep(flac::Metadata& slot, const FLAC__StreamMetadata& block, const char* duplicateLine);
    bool decode(FLAC__StreamDecoder* decoder);
    bool copyStreamParameters();
    bool handOverSamples();
    void reportMetadata();
    void logForeignChunk(const FLAC__StreamMetadata& block);
    bool storeForeignChunk(const FLAC__StreamMetadata& block, std::vector<uint8_t>& store);

    AudioFile& job_;
    ReadOnlyFile& file_;
    const bool headerOnly_;

    // STREAMINFO.
    bool haveStreamInfo_ = false;
    uint64_t totalSamples_ = 0;
    uint32_t channels_ = 0;
    uint32_t bits_ = 0;
    uint32_t bytesPerSample_ = 0;
    uint32_t sampleRate_ = 0;

    // Blocks kept for the report; only an analysis keeps them.
    flac::Metadata foreign_[kForeignCount];
    flac::Metadata vorbisComment_;
    flac::Metadata picture_;

    // Decoded samples, packed little-endian: straight into the job's buffer when STREAMINFO
    // tells their number (a side is hundreds of megabytes, not to be copied), otherwise
    // into a buffer of our own that grows as frames come.
    ByteBuffer grown_;
    ByteBuffer* samples_ = &grown_;
    size_t used_ = 0;
    uint64_t framesDecoded_ = 0;

    // What went wrong inside the callbacks.
    bool readFailed_ = false;
    bool memoryFailed_ = false;
    const char* layoutError_ = nullptr;
    bool streamFailed_ = false;
};

FLAC__StreamDecoderReadStatus FlacDecode::read(FLAC__byte* buffer, size_t* bytes) {
    if (*bytes == 0) return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    const size_t got = file_.read(buffer, *bytes);
    if (file_.failed()) {
        readFailed_ = true;
        *bytes = 0;
        return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    }
    *bytes = got;
    return got == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM
                    : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__StreamDecoderWriteStatus FlacDecode::write(const FLAC__Frame& frame, const FLAC__int32* const* buffer) {
    // Every frame is packed in the layout STREAMINFO announced: a frame that differs would
    // shift every sample after it.
    if (!haveStreamInfo_ || frame.header.channels != channels_ || frame.header.bits_per_sample != bits_) {
        layoutError_ = "frame layout differs from the stream info";
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    if (bytesPerSample_ != 2 && bytesPerSample_ != 3) {
        layoutError_ = "sample width is not 2 or 3 bytes";
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    const uint32_t blocksize = frame.header.blocksize;
    const size_t frameBytes = size_t{channels_} * bytesPerSample_;
    const size_t needed = used_ + size_t{blocksize} * frameBytes;
    if (needed > samples_->size()) {
        if (samples_ != &grown_) {
            layoutError_ = "stream holds more frames than its stream info announces";
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        // A stream without a total: doubling keeps the copies linear.
        if (!grown_.resize(std::max(needed, 2 * grown_.size()))) {
            memoryFailed_ = true;
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
    }
    uint8_t* out = samples_->data() + used_;
    if (bytesPerSample_ == 2) {
        for (uint32_t i = 0; i < blocksize; ++i) {
            for (uint32_t c = 0; c < channels_; ++c, out += 2) {
                bytes::writeU16LE(out, static_cast<uint16_t>(buffer[c][i]));
            }
        }
    } else {
        for (uint32_t i = 0; i < blocksize; ++i) {
            for (uint32_t c = 0; c < channels_; ++c, out += 3) {
                bytes::writeU24LE(out, static_cast<uint32_t>(buffer[c][i]));
            }
        }
    }
    used_ = needed;
    framesDecoded_ += blocksize;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void FlacDecode::keep(flac::Metadata& slot, const FLAC__StreamMetadata& block, const char* duplicateLine) {
    if (slot) {
        platform::logText(duplicateLine);
        return;
    }
    slot.reset(FLAC__metadata_object_clone(&block));
    if (!slot) memoryFailed_ = true;
}

void FlacDecode::metadata(const FLAC__StreamMetadata& block) {
    if (block.type == FLAC__METADATA_TYPE_STREAMINFO) {
        platform::log("<Info> Analysing FLAC metadata stream info");
        const auto& info = block.data.stream_info;
        haveStreamInfo_ = true;
        totalSamples_ = info.total_samples;
        channels_ = info.channels;
        bits_ = info.bits_per_sample;
        bytesPerSample_ = (bits_ + 7) / 8;
        sampleRate_ = info.sample_rate;
        return;
    }
    // Only an analysis reports metadata; a processing pass needs the samples alone.
    if (!headerOnly_) return;
    switch (block.type) {
        case FLAC__METADATA_TYPE_APPLICATION: {
            const uint32_t n = applicationDataLength(block);
            const uint8_t* data = applicationData(block);
            for (int k = 0; k < kForeignCount; ++k) {
                if (n >= 4 && bytes::isFourCC(data, kForeignChunks[k].id)) {
                    keep(foreign_[k], block, kForeignChunks[k].duplicateLine);
                    return;
                }
            }
            const std::string id =
                n ? std::string(reinterpret_cast<const char*>(data), std::min<uint32_t>(n, 4)) : "";
            platform::log("<Info>  Discarding application chunk: %4.4s", id.c_str());
            break;
        }
        case FLAC__METADATA_TYPE_VORBIS_COMMENT:
            if (block.data.vorbis_comment.num_comments == 0) break;
            keep(vorbisComment_, block,
                 "<ERROR> There can only be one Vorbis Comment with multiple comments'");
            break;
        case FLAC__METADATA_TYPE_PICTURE:
            keep(picture_, block, "<ERROR> Only one FLAC picture is supported'");
            break;
        default:
            break;
    }
}

void FlacDecode::streamError(FLAC__StreamDecoderErrorStatus status) {
    // libFLAC goes on after a damaged frame; the samples would then be short or wrong. Each
    // error is logged (not printed: the command line keeps standard error for its user) and
    // any fails the job once the decoder returns.
    platform::log("<ERROR> Got error callback: %s", FLAC__StreamDecoderErrorStatusString[status]);
    streamFailed_ = true;
}

bool FlacDecode::decode(FLAC__StreamDecoder* decoder) {
    const auto stateText = [&] {
        return FLAC__StreamDecoderStateString[FLAC__stream_decoder_get_state(decoder)];
    };
    bool ok;
    if (headerOnly_) {
        ok = FLAC__stream_decoder_process_until_end_of_metadata(decoder);
        if (!ok) platform::log("<ERROR> FLAC metadata read failed: %s", stateText());
    } else {
        ok = FLAC__stream_decoder_process_until_end_of_stream(decoder);
        if (!ok) platform::log("<ERROR> Metadata read failed: %s", stateText());
    }
    if (!ok) {
        if (memoryFailed_) {
            reportAllocationFailure(job_);
        } else {
            job_.error |= kErrorCannotOpen;
        }
    }
    if (readFailed_) readers::failRead(job_);
    if (layoutError_) {
        platform::log("<ERROR> FLAC %s", layoutError_);
        job_.error |= kErrorCannotOpen;
    }
    if (memoryFailed_ && ok) reportAllocationFailure(job_);  // a block could not be kept
    if (streamFailed_) job_.error |= kErrorAudioData;
    // The MD5 signature is compared when the decoder finishes; an analysis decodes no
    // audio, so only a processing pass can check it.
    if (ok && !headerOnly_ && !FLAC__stream_decoder_finish(decoder)) {
        platform::log("<ERROR> FLAC audio does not match its MD5 signature");
        job_.error |= kErrorAudioData;
    }
    return job_.error == 0;
}

bool FlacDecode::copyStreamParameters() {
    job_.srcChannels = channels_;
    job_.srcSampleBits = bits_;
    job_.srcSampleBytes = bytesPerSample_;
    job_.srcFrameRate = sampleRate_;
    // A stream may leave its total unknown (0): the frames decoded then tell it.
    const uint64_t frames = totalSamples_ == 0 && !headerOnly_ ? framesDecoded_ : totalSamples_;
    if (frames > UINT32_MAX) {
        platform::log("<ERROR> Too many sample frames: %llu", static_cast<unsigned long long>(frames));
        job_.error |= kErrorAudioData;
        return false;
    }
    job_.srcFrames = static_cast<uint32_t>(frames);
    if (bits_ < 1 || bits_ > 32) {
        platform::log("<ERROR> Sample size must be in the range 1-32");
        job_.error |= kErrorBitDepth;
    }
    const uint64_t audioBytes = uint64_t{channels_} * job_.srcFrames * bytesPerSample_;
    platform::log("<Info>  Channels = %x (hex) %u (dec)", job_.srcChannels, job_.srcChannels);
    platform::log("<Info>  Sample frames = %x (hex) %u (dec)", job_.srcFrames, job_.srcFrames);
    platform::log("<Info>  Sample bits = %x (hex) %u (dec)", job_.srcSampleBits, job_.srcSampleBits);
    platform::log("<Info>  Sample bytes = %x (hex) %u (dec)", job_.srcSampleBytes, job_.srcSampleBytes);
    platform::log("<Info>  Frame rate = %f", job_.srcFrameRate);
    platform::log("<Info>  Audio data is %llu bytes", static_cast<unsigned long long>(audioBytes));
    return true;
}

bool FlacDecode::handOverSamples() {
    // A stream cut short, or longer than it says, would hand over samples that do not
    // match the frame count every later stage relies on.
    if (framesDecoded_ != job_.srcFrames) {
        platform::log("<ERROR> Decoded %llu sample frames where the stream announces %u",
                      static_cast<unsigned long long>(framesDecoded_), job_.srcFrames);
        job_.error |= kErrorAudioData;
        return false;
    }
    if (samples_ == &grown_) CreateSrcAudioData(job_, grown_.data(), used_);
    return job_.error == 0;
}

void FlacDecode::logForeignChunk(const FLAC__StreamMetadata& block) {
    const uint8_t* data = applicationData(block);
    const uint32_t n = applicationDataLength(block);
    platform::log("<Info>  ckID = %4.4s", reinterpret_cast<const char*>(data));
    if (n >= bytes::kChunkHeaderSize) {
        // "riff" blocks hold chunks with little-endian sizes, others ("aiff") big-endian.
        const bool riff = std::memcmp(block.data.application.id, "riff", 4) == 0;
        const uint32_t size = riff ? bytes::readU32LE(data + 4) : bytes::readU32BE(data + 4);
        platform::log("<Info>  ckDataSize = %x (hex) %i (dec)", size, static_cast<int>(size));
    }
    const int metaLength = static_cast<int>(block.length) - 12;
    platform::log("<Info>  metaLength = %x (hex) %i (dec)", static_cast<unsigned>(metaLength), metaLength);
}

bool FlacDecode::storeForeignChunk(const FLAC__StreamMetadata& block, std::vector<uint8_t>& store) {
    const uint8_t* data = applicationData(block);
    try {
        store.assign(data, data + applicationDataLength(block));
    } catch (const std::bad_alloc&) {
        reportAllocationFailure(job_);
        return false;
    }
    return true;
}

void FlacDecode::reportMetadata() {
    if (const auto& signature = foreign_[kSignature]) {
        logForeignChunk(*signature);
        const int errorBefore = job_.error;
        DecodeMetadataChunk(job_, applicationData(*signature), applicationDataLength(*signature), true);
        if (job_.error != errorBefore) return;
        platform::log("<Info>  QUER chunk is good");
    }
    struct Stored {
        ForeignChunk kind;
        const char* presentLine;
        std::vector<uint8_t>& store;
    };
    const Stored stored[] = {
        {kID3, "<Info>  ID3v2 chunk is present", job_.srcID3ChunkData},
        {kBext, "<Info>  BEXT chunk is present", job_.srcBextChunkData},
        {kIXML, "<Info>  iXML chunk is present", job_.srcIXMLChunkData},
    };
    for (const auto& s : stored) {
        if (!foreign_[s.kind]) continue;
        platform::logText(s.presentLine);
        logForeignChunk(*foreign_[s.kind]);
        if (!storeForeignChunk(*foreign_[s.kind], s.store)) return;
    }

    if (vorbisComment_) {
        platform::log("<Info>  Vorbis comment metadata is present");
        const auto& vc = vorbisComment_->data.vorbis_comment;
        std::vector<std::string> comments;
        for (uint32_t i = 0; i < vc.num_comments; ++i) {
            const auto& entry = vc.comments[i];
            if (!entry.entry || entry.length == 0) continue;
            // What is not UTF-8 is not text, and cannot be written back either.
            if (!FLAC__format_vorbiscomment_entry_value_is_legal(entry.entry, entry.length)) continue;
            comments.emplace_back(reinterpret_cast<const char*>(entry.entry), entry.length);
        }
        job_.srcVorbisComments = std::move(comments);
    }

    if (picture_) {
        platform::log("<Info>  Picture metadata is present");
        const auto& p = picture_->data.picture;
        FlacPicture picture;
        picture.type = static_cast<uint32_t>(p.type);
        picture.mimeType = p.mime_type ? p.mime_type : "";
        picture.description = p.description ? reinterpret_cast<const char*>(p.description) : "";
        picture.width = p.width;
        picture.height = p.height;
        picture.depth = p.depth;
        picture.colors = p.colors;
        if (p.data_length) picture.data.assign(p.data, p.data + p.data_length);
        job_.srcPictureChunkDict.clear();
        job_.srcPictureChunkDict.push_back(std::move(picture));
    }
}

void FlacDecode::run() {
    const Decoder decoder(FLAC__stream_decoder_new());
    if (!decoder) {
        platform::log("<ERROR> Decode allocation failed");
        job_.error |= kErrorMemory;
        return;
    }
    FLAC__stream_decoder_set_md5_checking(decoder.get(), true);
    FLAC__stream_decoder_set_metadata_respond(decoder.get(), FLAC__METADATA_TYPE_VORBIS_COMMENT);
    FLAC__stream_decoder_set_metadata_respond(decoder.get(), FLAC__METADATA_TYPE_APPLICATION);
    FLAC__stream_decoder_set_metadata_respond(decoder.get(), FLAC__METADATA_TYPE_PICTURE);
    const FLAC__StreamDecoderInitStatus status =
        FLAC__stream_decoder_init_stream(decoder.get(), &readCallback, nullptr, nullptr, nullptr, nullptr,
                                         &writeCallback, &metadataCallback, &errorCallback, this);
    if (status != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        platform::log("<ERROR> Decode initialisation failure: %s",
                      FLAC__StreamDecoderInitStatusString[status]);
        // Without this a processing pass would go on with no samples at all.
        job_.error |= kErrorCannotOpen;
        return;
    }

    // A processing pass reads STREAMINFO first and, when it tells the number of frames,
    // decodes into the job's sample buffer made to that size once; a wrong number is caught
    // when the decoded frames are counted. The buffer is made only for a layout the frames
    // can be packed in and a count the file could hold: a damaged header announcing billions
    // of frames in a few bytes must not claim gigabytes before its first frame is read (it
    // then decodes into the growing buffer and fails on the count like any short stream).
    if (!headerOnly_ && FLAC__stream_decoder_process_until_end_of_metadata(decoder.get()) &&
        haveStreamInfo_ && totalSamples_ > 0 && totalSamples_ <= UINT32_MAX &&
        (bytesPerSample_ == 2 || bytesPerSample_ == 3) && channels_ > 0 &&
        totalSamples_ / kMaxFramesPerByte <= file_.length()) {
        job_.srcChannels = channels_;
        job_.srcSampleBytes = bytesPerSample_;
        job_.srcFrames = static_cast<uint32_t>(totalSamples_);
        if (!AllocateSrcAudioData(job_, totalSamples_ * channels_ * bytesPerSample_)) return;
        samples_ = &job_.srcAudioData;
    }
    const bool decoded = decode(decoder.get());
    if (!haveStreamInfo_) {
        platform::log("<ERROR> FLAC stream info is missing");
        job_.error |= kErrorCannotOpen;
    } else if (copyStreamParameters()) {
        if (headerOnly_) {
            reportMetadata();
            return;
        }
        if (decoded && handOverSamples()) return;
    }
    if (!headerOnly_) job_.srcAudioData.release();  // no half a side for a failed job
}

}  // namespace

void AnalyseFLAC(AudioFile& job, bool headerOnly) {
    job.srcEndianessValues = kLittleEndian;
    job.srcEndianessData = kLittleEndian;
    readers::analyseInputFile(job, headerOnly, &AnalyseFLAC);
}

void AnalyseFLAC(AudioFile& job, ReadOnlyFile& file, bool headerOnly) {
    job.srcEndianessValues = kLittleEndian;
    job.srcEndianessData = kLittleEndian;
    FlacDecode(job, file, headerOnly).run();
}

}  // namespace quiramo
