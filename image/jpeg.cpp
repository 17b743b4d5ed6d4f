// Decoding and encoding through libjpeg-turbo.
//
// The library reports errors by calling error_exit, which here jumps back to the guard with longjmp.
// The guarded functions (RunDecode, RunEncode) therefore hold only plain C data: everything they
// produce goes into a job record owned by the caller, and the pixel block is freed outside the guard.
//
// Damage policy: data that ends early reads as an end-of-image marker, so a file cut anywhere after
// its frame header still gives a picture of full size (the library fills what is missing). Any
// error the library raises gives no picture and status 50002, as does an output the program cannot
// hold (component count other than 1, 3 or 4, a block beyond 32 bits, or more pixels or scans than
// the context's limits allow). A bad segment found by the marker scan after a successful decode sets
// 50004 but keeps the picture.
#include "image/jpeg.h"

#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "image/jpeg_dc.h"

namespace image {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void ErrorExit(j_common_ptr cinfo) {
    ErrorManager* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    longjmp(err->jump, 1);
}

// Library messages are never shown.
void OutputMessage(j_common_ptr) {}

void InitErrorManager(ErrorManager* err) {
    jpeg_std_error(&err->pub);
    err->pub.error_exit = ErrorExit;
    err->pub.output_message = OutputMessage;
}

// ---- Memory source ------------------------------------------------------------------------------

const JOCTET kFakeEoi[2] = {0xFF, JPEG_EOI};

void SourceNoop(j_decompress_ptr) {}

// Past the end of the data the library sees an end-of-image marker, so truncated files end cleanly.
boolean SourceFill(j_decompress_ptr cinfo) {
    cinfo->src->next_input_byte = kFakeEoi;
    cinfo->src->bytes_in_buffer = 2;
    return TRUE;
}

void SourceSkip(j_decompress_ptr cinfo, long count) {
    if (count <= 0)
        return;
    jpeg_source_mgr* src = cinfo->src;
    const size_t n = static_cast<size_t>(count);
    if (n > src->bytes_in_buffer) {
        src->next_input_byte += src->bytes_in_buffer;
        src->bytes_in_buffer = 0;
    } else {
        src->next_input_byte += n;
        src->bytes_in_buffer -= n;
    }
}

// ---- Progress monitor: a cap on the number of scans, and the cancel flag ------------------------
//
// The library calls it once per row of blocks, also while it gathers the scans of a progressive file
// inside jpeg_start_decompress, which is where a large progressive picture spends most of its time.

struct ScanLimit {
    jpeg_progress_mgr pub;
    uint32_t max_scans; // 0: no cap
    const std::atomic<bool>* cancel;
};

void CheckScans(j_common_ptr cinfo) {
    ScanLimit* limit = reinterpret_cast<ScanLimit*>(cinfo->progress);
    j_decompress_ptr d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (limit->cancel && limit->cancel->load(std::memory_order_relaxed))
        ERREXIT(cinfo, JERR_NOTIMPL);
    if (limit->max_scans && cinfo->is_decompressor && static_cast<uint32_t>(d->input_scan_number) > limit->max_scans)
        ERREXIT(cinfo, JERR_NOTIMPL);
}

// M[a][b] = a x b / 255, truncated: the ink multiplication of CMYK pictures.
const uint8_t* InkTable() {
    static const struct Table {
        uint8_t m[65536];
        Table() {
            for (uint32_t a = 0; a < 256; ++a)
                for (uint32_t b = 0; b < 256; ++b)
                    m[(a << 8) | b] = static_cast<uint8_t>(a * b / 255);
        }
    } table;
    return table.m;
}

// ---- Decoding -----------------------------------------------------------------------------------

struct DecodeJob {
    // In.
    const uint8_t* data;
    size_t size;
    bool reduce;
    uint32_t box_width, box_height;
    ImageLimits limits;
    const std::atomic<bool>* cancel;
    const uint8_t* ink;
    bool dc_only; // the data holds only the scans a 1/8 transform reads (jpeg_dc.h)
    // Out.
    uint32_t status;
    uint32_t stored_width, stored_height;
    uint32_t width, height;
    int components;
    uint8_t* pixels; // page block, freed by the caller on failure
    bool progressive;
    int density_unit;
    uint32_t x_density, y_density;
};

uint32_t ScaleDenominator(const DecodeJob* job, uint32_t width, uint32_t height) {
    return job->reduce ? JpegScaleDenominator(job->box_width, job->box_height, width, height) : 1;
}

void StoreCmykRow(const JSAMPLE* in, uint8_t* out, uint32_t width, const uint8_t* ink) {
    for (uint32_t x = 0; x < width; ++x, in += 4, out += 3) {
        const uint32_t k = in[3];
        out[0] = ink[(static_cast<uint32_t>(in[2]) << 8) | k];
        out[1] = ink[(static_cast<uint32_t>(in[1]) << 8) | k];
        out[2] = ink[(static_cast<uint32_t>(in[0]) << 8) | k];
    }
}

// The library's state lives in the caller's frame, so nothing the guard reads after a jump is a local
// changed since setjmp.
struct DecodeState {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_source_mgr source;
    ScanLimit scans;
};

// Returns false for a library error or a picture this program cannot hold (status set).
bool RunDecode(DecodeJob* job, DecodeState* state) {
    jpeg_decompress_struct& cinfo = state->cinfo;
    ErrorManager& err = state->err;
    jpeg_source_mgr& source = state->source;
    ScanLimit& scans = state->scans;
    InitErrorManager(&err);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        job->status = status::kBadFormat;
        return false;
    }
    jpeg_create_decompress(&cinfo);
    if (job->limits.max_codec_memory)
        cinfo.mem->max_memory_to_use = static_cast<long>(job->limits.max_codec_memory);
    if (job->limits.max_jpeg_scans || job->cancel) {
        scans.pub.progress_monitor = CheckScans;
        scans.max_scans = job->limits.max_jpeg_scans;
        scans.cancel = job->cancel;
        cinfo.progress = &scans.pub;
    }
    source.next_input_byte = job->data;
    source.bytes_in_buffer = job->size;
    source.init_source = SourceNoop;
    source.fill_input_buffer = SourceFill;
    source.skip_input_data = SourceSkip;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = SourceNoop;
    cinfo.src = &source;

    jpeg_read_header(&cinfo, TRUE);
    job->stored_width = cinfo.image_width;
    job->stored_height = cinfo.image_height;
    cinfo.scale_num = 1;
    cinfo.scale_denom = ScaleDenominator(job, cinfo.image_width, cinfo.image_height);
    if (cinfo.out_color_space == JCS_RGB)
        cinfo.out_color_space = JCS_EXT_BGR;
    // The whole file leaves nothing to smooth; here smoothing would invent the terms the skipped scans
    // hold and so change the picture.
    if (job->dc_only)
        cinfo.do_block_smoothing = FALSE;
    jpeg_calc_output_dimensions(&cinfo);

    const int comps = cinfo.output_components;
    const uint32_t width = cinfo.output_width, height = cinfo.output_height;
    size_t bytes = 0;
    if ((comps != 1 && comps != 3 && comps != 4) ||
        !PixelBlockSize(width, height, comps == 1 ? 8 : 24, &bytes) ||
        !WithinPixelLimit(job->limits, width, height)) {
        jpeg_destroy_decompress(&cinfo);
        job->status = status::kBadFormat;
        return false;
    }
    job->pixels = static_cast<uint8_t*>(platform::PageAlloc(bytes));
    if (!job->pixels) {
        jpeg_destroy_decompress(&cinfo);
        job->status = status::kNoMemory;
        return false;
    }
    job->width = width;
    job->height = height;
    job->components = comps;

    jpeg_start_decompress(&cinfo);
    const size_t stride = static_cast<size_t>(StrideFor(width, comps == 1 ? 8 : 24));
    if (comps == 4) {
        JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                    width * 4, 1);
        while (cinfo.output_scanline < height) {
            const uint32_t line = cinfo.output_scanline;
            if (jpeg_read_scanlines(&cinfo, row, 1) != 1)
                break;
            StoreCmykRow(row[0], job->pixels + (height - 1 - line) * stride, width, job->ink);
        }
    } else {
        // Rows go straight into the bottom-up block: the file's first line is the top stored row.
        JSAMPROW rows[8];
        while (cinfo.output_scanline < height) {
            const uint32_t line = cinfo.output_scanline;
            uint32_t want = height - line;
            if (want > 8)
                want = 8;
            for (uint32_t i = 0; i < want; ++i)
                rows[i] = job->pixels + (height - 1 - (line + i)) * stride;
            if (jpeg_read_scanlines(&cinfo, rows, want) == 0)
                break;
        }
    }
    jpeg_finish_decompress(&cinfo);
    job->progressive = cinfo.progressive_mode != 0;
    job->density_unit = cinfo.density_unit;
    job->x_density = cinfo.X_density;
    job->y_density = cinfo.Y_density;
    jpeg_destroy_decompress(&cinfo);
    return true;
}

int32_t DensityToPixelsPerMeter(int unit, uint32_t density) {
    if (unit == 1)
        return static_cast<int32_t>(density / 0.0254 + 0.5);
    if (unit == 2)
        return static_cast<int32_t>(density * 100);
    return 0;
}

void CountComment(JpegContext& ctx, void*) { ++ctx.comment_count; }

void ResetFacts(JpegContext& ctx) {
    ctx.comment_count = 0;
    ctx.orientation = 1;
    ctx.grey = false;
    ctx.progressive = false;
    ctx.exif = false;
    ctx.exif_length = 0;
    ctx.stored_width = 0;
    ctx.stored_height = 0;
    ctx.dc_only = false;
}

// A progressive picture reduced by 8 from the scans its transform reads (jpeg_dc.h). False, with nothing in
// `job`, when the file does not qualify or the library refuses the copy: the caller decodes the file
// whole, so a failure here costs time but never a picture.
bool RunDcOnlyDecode(const JpegContext& ctx, DecodeJob* job) {
    if (!ctx.reduce || !ctx.allow_dc_only)
        return false;
    JpegDcStream dc;
    if (BuildJpegDcStream(job->data, job->size, ctx.box_width, ctx.box_height, &dc) != JpegDcRefusal::None)
        return false;
    DecodeJob attempt = *job;
    attempt.data = dc.block.Get();
    attempt.size = dc.size;
    attempt.dc_only = true;
    DecodeState state;
    if (!RunDecode(&attempt, &state)) {
        platform::PageFree(attempt.pixels);
        return false;
    }
    *job = attempt;
    job->data = ctx.src.begin;
    job->size = SourceSize(ctx.src);
    return true;
}

bool DecodeJpeg(JpegContext& ctx, DecodedImage& out) {
    DecodeSource& src = ctx.src;
    DecodeJob job{};
    job.data = src.begin;
    job.size = SourceSize(src);
    job.reduce = ctx.reduce;
    job.box_width = ctx.box_width;
    job.box_height = ctx.box_height;
    job.limits = src.limits;
    job.cancel = src.cancel;
    job.ink = InkTable();
    job.status = status::kOk;
    if (!job.data || job.size == 0) {
        src.status = status::kCannotRead;
        return false;
    }
    const bool dcOnly = RunDcOnlyDecode(ctx, &job);
    bool ok = dcOnly;
    if (!dcOnly && !DecodeCancelled(src)) {
        DecodeState state;
        ok = RunDecode(&job, &state);
    }
    ctx.dc_only = dcOnly;
    ctx.stored_width = job.stored_width;
    ctx.stored_height = job.stored_height;
    if (!ok || DecodeCancelled(src)) {
        platform::PageFree(job.pixels);
        src.status = DecodeCancelled(src) ? status::kCannotRead : job.status;
        return false;
    }
    const uint16_t bits = job.components == 1 ? 8 : 24;
    SetBitmapHeader(out, static_cast<int32_t>(job.width), static_cast<int32_t>(job.height), bits);
    if (bits == 8) {
        SetGreyRamp(out);
        ctx.grey = true;
    }
    out.pixels = job.pixels;
    ctx.progressive = job.progressive;
    out.info.header.x_pels_per_meter = DensityToPixelsPerMeter(job.density_unit, job.x_density);
    out.info.header.y_pels_per_meter = DensityToPixelsPerMeter(job.density_unit, job.y_density);
    out.source_bits = bits;
    out.format = static_cast<uint32_t>(ImageFormat::Jpeg);

    JpegMarkerHooks hooks;
    hooks.on_exif = JpegOrientationHandler;
    hooks.on_comment = CountComment;
    const uint32_t orientation = JpegScanMarkers(ctx, hooks);
    ctx.orientation = orientation ? orientation : 1;
    return true;
}

// ---- Encoding -----------------------------------------------------------------------------------

struct EncodeJob {
    const uint8_t* pixels;
    int width, height, quality, h_sampling, v_sampling;
    uint8_t* output;
    size_t capacity;
    size_t produced;
};

void DestNoop(j_compress_ptr) {}

// The buffer is all there is: needing more space is an error.
boolean DestFull(j_compress_ptr cinfo) {
    ERREXIT(cinfo, JERR_BUFFER_SIZE);
    return FALSE;
}

int QualityScale(int q) {
    if (q <= 0)
        return 5000;
    if (q <= 49)
        return 5000 / q;
    if (q <= 100)
        return 200 - 2 * q;
    return 0;
}

struct EncodeState {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    jpeg_destination_mgr dest;
};

bool RunEncode(EncodeJob* job, EncodeState* state) {
    jpeg_compress_struct& cinfo = state->cinfo;
    ErrorManager& err = state->err;
    jpeg_destination_mgr& dest = state->dest;
    InitErrorManager(&err);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    dest.next_output_byte = job->output;
    dest.free_in_buffer = job->capacity;
    dest.init_destination = DestNoop;
    dest.empty_output_buffer = DestFull;
    dest.term_destination = DestNoop;
    cinfo.dest = &dest;
    cinfo.image_width = static_cast<JDIMENSION>(job->width);
    cinfo.image_height = static_cast<JDIMENSION>(job->height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    cinfo.optimize_coding = TRUE;
    cinfo.comp_info[0].h_samp_factor = job->h_sampling;
    cinfo.comp_info[0].v_samp_factor = job->v_sampling;
    jpeg_set_linear_quality(&cinfo, QualityScale(job->quality), TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = static_cast<size_t>(StrideFor(static_cast<uint32_t>(job->width), 24));
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(job->pixels + (job->height - 1 - cinfo.next_scanline) * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    job->produced = job->capacity - dest.free_in_buffer;
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

uint32_t JpegScaleDenominator(uint32_t box_width, uint32_t box_height, uint32_t width, uint32_t height) {
    if (box_width == 0 || box_height == 0)
        return 1;
    const uint32_t qw = width / box_width;
    const uint32_t qh = height / box_height;
    const uint32_t q = qw < qh ? qw : qh;
    return q >= 8 ? 8 : (q >= 4 ? 4 : (q >= 2 ? 2 : 1));
}

void JpegSetFit(JpegContext& ctx, uint32_t fit_size) {
    ctx.reduce = fit_size != 0;
    ctx.box_width = fit_size;
    ctx.box_height = fit_size;
}

bool JpegDecodeFromMemory(JpegContext& ctx, const uint8_t* data, size_t length, DecodedImage& out) {
    SourceBegin(ctx.src, out);
    ResetFacts(ctx);
    SourceUseMemory(ctx.src, data, length);
    const bool ok = DecodeJpeg(ctx, out);
    SourceEnd(ctx.src);
    return ok;
}

bool JpegDecodeFromFile(JpegContext& ctx, const std::wstring& path, DecodedImage& out) {
    SourceBegin(ctx.src, out);
    ResetFacts(ctx);
    if (!SourceMapFile(ctx.src, path))
        return false;
    const bool ok = DecodeJpeg(ctx, out);
    SourceEnd(ctx.src);
    return ok;
}

bool JpegLoad(const DecodeInput& in, const DecodeRequest& request, DecodedImage& out, LoadReport& report) {
    JpegContext ctx;
    if (request.options) {
        ctx.src.limits = request.options->limits;
        ctx.src.cancel = request.options->cancel;
        ctx.allow_dc_only = request.options->jpeg_dc_only;
    }
    JpegSetFit(ctx, request.fit_size);
    const bool ok = in.path ? JpegDecodeFromFile(ctx, *in.path, out) : JpegDecodeFromMemory(ctx, in.data, in.size, out);
    report.status = ctx.src.status;
    if (ok) {
        report.orientation = ctx.orientation;
        report.facts.push_back(DecoderFact{"progressive", ctx.progressive ? 1u : 0u});
        report.facts.push_back(DecoderFact{"exif", ctx.exif ? 1u : 0u});
        report.facts.push_back(DecoderFact{"comments", ctx.comment_count});
        report.facts.push_back(DecoderFact{"stored_width", ctx.stored_width});
        report.facts.push_back(DecoderFact{"stored_height", ctx.stored_height});
        report.facts.push_back(DecoderFact{"dc_only", ctx.dc_only ? 1u : 0u});
    }
    return ok;
}

uint32_t JpegExifMark(const JpegContext& ctx) {
    if (!ctx.exif)
        return 0;
    return ctx.orientation != 1 ? 2 : 1;
}

JpegEncoder JpegEncoderInit(int width, int height, int quality, uint8_t* output, size_t capacity) {
    JpegEncoder enc;
    enc.width = width;
    enc.height = height;
    enc.quality = quality > 100 ? 75 : quality;
    enc.output = output;
    enc.capacity = capacity;
    return enc;
}

bool EncodeJpeg(JpegEncoder& enc, const uint8_t* pixels) {
    enc.produced = 0;
    if (!pixels || !enc.output || enc.capacity == 0 || enc.width <= 0 || enc.height <= 0)
        return false;
    EncodeJob job{pixels, enc.width, enc.height, enc.quality, enc.h_sampling, enc.v_sampling,
                  enc.output, enc.capacity, 0};
    EncodeState state;
    if (!RunEncode(&job, &state))
        return false;
    enc.produced = job.produced;
    return true;
}

} // namespace image
