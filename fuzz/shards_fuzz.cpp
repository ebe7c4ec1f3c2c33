#include "core/base/textencoding.h"
#include "core/study/posteriorshard.h"
#include "core/study/studyshard.h"
#include "fuzzcheck.h"
#include "fuzztargets.h"

#include <bit>
#include <string>
#include <string_view>
#include <vector>

namespace fenlowick::fuzz {

namespace {

std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

bool sameManifest(const ShardManifest& a, const ShardManifest& b) {
    // Without a discrimination table the manifest writes no fingerprint of one.
    return a.fingerprint == b.fingerprint && a.sourcesHash == b.sourcesHash &&
           a.consumersHash == b.consumersHash && a.hasDiscrimination == b.hasDiscrimination &&
           (!a.hasDiscrimination || a.discriminationHash == b.discriminationHash) &&
           a.index == b.index && a.count == b.count && a.options == b.options &&
           a.partialsHash == b.partialsHash;
}

bool textsAreUtf8(const ShardManifest& manifest) {
    const StudyOptions& options = manifest.options;
    std::vector<std::string_view> texts = {manifest.fingerprint,   manifest.sourcesHash,
                                           manifest.consumersHash, manifest.discriminationHash,
                                           manifest.partialsHash,  options.increment,
                                           options.tolerance};
    texts.insert(texts.end(), options.by.begin(), options.by.end());
    texts.insert(texts.end(), options.limits.begin(), options.limits.end());
    for (const std::string_view text : texts) {
        if (!isValidUtf8(text)) {
            return false;
        }
    }
    return true;
}

/// A study of three consumers (rows 1 to 3); partial results name consumers by row alone.
Study threeConsumers() {
    Study study;
    for (int row = 1; row <= 3; ++row) {
        StudyConsumer consumer;
        consumer.row = row;
        study.consumers.push_back(consumer);
    }
    return study;
}

bool sameOutcome(const ConsumerOutcome& a, const ConsumerOutcome& b) {
    if (a.sources != b.sources || a.feasible != b.feasible || a.drawsFeasible != b.drawsFeasible ||
        a.exact != b.exact) {
        return false;
    }
    for (std::size_t s = 0; s < a.pooled.size(); ++s) {
        for (std::size_t level = 0; level < a.pooled[s].size(); ++level) {
            if (std::bit_cast<std::uint64_t>(a.pooled[s][level]) !=
                std::bit_cast<std::uint64_t>(b.pooled[s][level])) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

int fuzzShardManifest(const std::uint8_t* data, std::size_t size) {
    const Expected<ShardManifest> manifest = parseManifest(bytesOf(data, size), "shard-0");
    if (!manifest) {
        FUZZ_CHECK(manifest.error().kind == Error::Kind::FileRead);
        FUZZ_CHECK(
            manifest.error().message.starts_with("shard-0: not a complete shard manifest ("));
        return 0;
    }
    FUZZ_CHECK(manifest->index >= 0 && manifest->index < manifest->count);
    FUZZ_CHECK(manifest->count <= kMaxShards);
    const std::string written = composeManifest(*manifest);
    const Expected<ShardManifest> again = parseManifest(written, "shard-0");
    FUZZ_CHECK(again.hasValue());
    // A manifest is written in JSON, whose texts are UTF-8; texts of the earlier line format
    // that are not cannot come back unchanged.
    if (textsAreUtf8(*manifest)) {
        FUZZ_CHECK(sameManifest(*again, *manifest));
        FUZZ_CHECK(composeManifest(*again) == written);
    }
    return 0;
}

int fuzzShardPartials(const std::uint8_t* data, std::size_t size) {
    const Study study = threeConsumers();
    const std::size_t consumers = study.consumers.size();
    StudyOutcome read;
    read.consumers.resize(consumers);
    std::vector<bool> seen(consumers, false);
    const Status status = readPartials(bytesOf(data, size), "partials.txt", study, read, seen);
    if (!status) {
        FUZZ_CHECK(status.error().kind == Error::Kind::FileRead);
        FUZZ_CHECK(status.error().message.starts_with("partials.txt, line "));
        return 0;
    }
    for (std::size_t c = 0; c < consumers; ++c) {
        const ConsumerOutcome& outcome = read.consumers[c];
        FUZZ_CHECK(seen[c] == (outcome.sources != 0));
        if (!seen[c]) {
            // Every consumer is in the file that is written back; one that was not read is
            // given as a consumer of two sources without results.
            read.consumers[c].sources = 2;
        }
        FUZZ_CHECK(read.consumers[c].sources >= 2 && read.consumers[c].sources <= kSourceRows);
    }
    StudySettings settings;
    settings.shardCount = 1;
    const std::string written = composePartials(study, read, settings);
    StudyOutcome again;
    again.consumers.resize(consumers);
    std::vector<bool> seenAgain(consumers, false);
    FUZZ_CHECK(readPartials(written, "partials.txt", study, again, seenAgain).hasValue());
    for (std::size_t c = 0; c < consumers; ++c) {
        FUZZ_CHECK(seenAgain[c]);
        FUZZ_CHECK(sameOutcome(again.consumers[c], read.consumers[c]));
    }
    // A consumer that one shard gave already is refused from another.
    std::vector<bool> seenTwice = seenAgain;
    FUZZ_CHECK(!readPartials(written, "partials.txt", study, again, seenTwice));
    return 0;
}

int fuzzPosteriorPartials(const std::uint8_t* data, std::size_t size) {
    // One group of two sources on a grid of two steps, one tracer, two consumers.
    const auto shaped = [] {
        return std::vector<PosteriorGroupSums>{PosteriorGroupSums{GridSums(2, 2, 1, 2), {}, {}, 0}};
    };
    std::vector<PosteriorGroupSums> read = shaped();
    const Status status = readPosteriorPartials(bytesOf(data, size), "partials.txt", read);
    if (!status) {
        FUZZ_CHECK(status.error().kind == Error::Kind::FileRead);
        FUZZ_CHECK(status.error().message.starts_with("partials.txt, line "));
        // A refused file adds nothing.
        FUZZ_CHECK(read.front().draws == 0 && read.front().sums.reference == -INFINITY);
        return 0;
    }
    // What was read, written and read again, is written the same.
    const std::string written = composePosteriorPartials(read);
    std::vector<PosteriorGroupSums> again = shaped();
    FUZZ_CHECK(readPosteriorPartials(written, "partials.txt", again).hasValue());
    FUZZ_CHECK(composePosteriorPartials(again) == written);
    return 0;
}

} // namespace fenlowick::fuzz
