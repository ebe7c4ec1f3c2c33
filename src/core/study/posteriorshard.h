#pragma once

#include "core/study/posteriorgrid.h"
#include "core/study/studyshard.h"

#include <string>
#include <string_view>
#include <vector>

namespace fenlowick {

/// A shard's sums of every group of a posterior over its draws, exactly (hexadecimal
/// floating point), in a versioned line format: the title line
/// "fenlowick-posterior-partials 1", then per group
///   group INDEX SOURCES STEPS TRACERS CONSUMERS DRAWS
///   grid REFERENCE EVALUATED SKIPPED
///   evidence, prior, evidences, squares: REFERENCE SUM
///   allbut CONSUMER REFERENCE SUM        one per consumer
///   moments TRACER FIRST SECOND          one per tracer
///   marginal SOURCE VALUE...             steps + 1 values per source
///   pair PAIR VALUE...                   (steps + 1)^2 values per pair of sources
/// and "end". Zeros are written "0".
std::string composePosteriorPartials(const std::vector<PosteriorGroupSums>& sums);

/// Adds a shard's posterior partials to `sums` (one per group, shaped as the study's groups
/// are). Refused, naming the file and line, for a damaged file or one of another shape.
Status readPosteriorPartials(std::string_view text, const std::string& fileName,
                             std::vector<PosteriorGroupSums>& sums);

/// The sums of a posterior's draws from all its shards, added in the shards' order.
Expected<std::vector<PosteriorGroupSums>>
mergePosteriorShards(const Study& study, const PosteriorSettings& settings,
                     const ShardManifest& manifest, const std::vector<ShardFiles>& shards);

} // namespace fenlowick
