#pragma once

#include "core/base/expected.h"
#include "core/study/studyrun.h"
#include "core/tables/studytables.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fenlowick {

/// Everything that decides a study's results: its tables as bytes and its options. Shards
/// of one study share its fingerprint; a shard of another study, or of the same tables run
/// with other options, has another.
struct StudyIdentity {
    std::string sources;
    std::string consumers;
    std::string discrimination; ///< empty without a discrimination table
    bool hasDiscrimination = false;
    StudyOptions options;
};

/// The most shards a study is split into.
inline constexpr int kMaxShards = 1000000;

/// A 64-bit FNV-1a hash of the identity's fields, each with its length, as 16 hex digits.
std::string studyFingerprint(const StudyIdentity& identity);

/// The small file that marks a shard as complete; written last. Its format is JSON (see
/// `composeManifest`); manifests of the earlier line format are still read.
struct ShardManifest {
    std::string fingerprint;
    /// Fingerprints of the tables one by one (textFingerprint), to say which one differs.
    std::string sourcesHash;
    std::string consumersHash;
    std::string discriminationHash;
    int index = 0; ///< 0-based
    int count = 1;
    bool hasDiscrimination = false;
    StudyOptions options;
    std::string partialsHash; ///< fingerprint of the partial results file, to catch damage
};

/// The manifest that marks shard `index` of `count` of the study complete, given its partial
/// results file.
ShardManifest shardManifest(const StudyIdentity& identity, int index, int count,
                            std::string_view partials);

/// The manifest as a JSON object, keys in this order:
///   "format": "fenlowick-study-shard", "version": 2,
///   "study": the study's fingerprint,
///   "tables": {"sources", "consumers", "discrimination"}: each table's fingerprint (the
///             discrimination's null without that table),
///   "shard": {"index", "count"},
///   "options": {"increment", "tolerance" (texts), "draws", "seed" (whole numbers),
///               "by", "limits" (lists of texts), "concentrations" (true or false),
///               for a posterior also "posterior": {"error", "prior"} (texts)},
///   "partials": the partial results file's fingerprint.
std::string composeManifest(const ShardManifest& manifest);

/// Reads a manifest of either format. Refused (Error::Kind::FileRead), naming the file, when
/// the text is not a shard manifest or a field is missing, of the wrong type or out of range.
Expected<ShardManifest> parseManifest(std::string_view text, const std::string& fileName);

/// A 64-bit FNV-1a hash of a text as 16 hex digits.
std::string textFingerprint(std::string_view text);

/// The additive results of a shard's consumers: per consumer its exact histograms and count,
/// its feasible draws and its pooled weights, exactly (weights as hexadecimal floating point),
/// nothing rounded.
std::string composePartials(const Study& study, const StudyOutcome& outcome,
                            const StudySettings& settings);

/// Adds a partial results file to `outcome` (sized for every consumer of the study).
/// Refused, naming the file and line, for a damaged file, a consumer the study does not
/// have or one that another shard gave already (`seen`, one flag per consumer).
Status readPartials(std::string_view text, const std::string& fileName, const Study& study,
                    StudyOutcome& outcome, std::vector<bool>& seen);

/// The largest partial results file a merge reads: a consumer of ten sources takes at most
/// about 50 kB (most histogram levels are empty), so a shard of 20,000 of them fits.
inline constexpr std::size_t kMaxPartialsBytes = std::size_t{1} << 30;

/// One shard folder's files: its manifest as read, and its partial results as read or, when
/// empty, read from the folder's partials.txt only when they are added, so that a merge holds
/// one shard's partial results at a time however many shards there are.
struct ShardFiles {
    std::string folder;
    std::string manifest;
    std::optional<std::string> partials;
};

/// A shard's partial results (as given, or read from its folder), refused unless they are
/// those its manifest `read` was written for.
Expected<std::string> shardPartials(const ShardFiles& shard, const ShardManifest& read);

/// Checks that `shards` are every shard of the study of `manifest` once, each with the
/// partial results its manifest was written for where they are given (the others are checked
/// as they are read); refused naming the shard that is not.
Status checkShards(const ShardManifest& manifest, const std::vector<ShardFiles>& shards);

/// The whole study from its shards: checks that they are shards of one study and cover it
/// exactly once (a shard of another study, a repeated shard and a missing one are refused
/// naming them), then adds their partial results. `study` is read from the first shard's
/// copies of the tables; `manifest` is the first shard's.
Expected<StudyOutcome> mergeShards(const Study& study, const ShardManifest& manifest,
                                   const std::vector<ShardFiles>& shards);

} // namespace fenlowick
