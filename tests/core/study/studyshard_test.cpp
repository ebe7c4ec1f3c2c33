#include "core/study/studyshard.h"

#include "support/datatable.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <tuple>

namespace fenlowick {
namespace {

const std::string kShards = std::string(FENLOWICK_TEST_DATA) + "/shards/";

StudyIdentity identityWithEveryOption() {
    StudyIdentity identity;
    identity.sources = "Source,Meand13C\nA,1\nB,2\n";
    identity.consumers = "d13C\n1.5\n";
    identity.discrimination = "Source,Meand13C,SDd13C\nA,0.4,0.1\nB,0.4,0.1\n";
    identity.hasDiscrimination = true;
    identity.options = StudyOptions{"2.5",
                                    "0.25",
                                    1000000,
                                    std::numeric_limits<std::uint64_t>::max(),
                                    {"Région", "Sex\t\"quoted\""},
                                    false,
                                    {"Small fish=10-40", "A+B>=50", "\"odd\\label\"<=5"},
                                    false,
                                    "both",
                                    ""};
    return identity;
}

void expectSameManifest(const ShardManifest& a, const ShardManifest& b) {
    const auto fields = [](const ShardManifest& m) {
        return std::tie(m.fingerprint, m.sourcesHash, m.consumersHash, m.discriminationHash,
                        m.hasDiscrimination, m.index, m.count, m.partialsHash);
    };
    EXPECT_EQ(fields(a), fields(b));
    EXPECT_TRUE(a.options == b.options);
}

TEST(ShardManifest, ReadsBackWhatItWroteWithAndWithoutDiscrimination) {
    StudyIdentity identity = identityWithEveryOption();
    for (const bool discrimination : {true, false}) {
        identity.hasDiscrimination = discrimination;
        identity.discrimination = discrimination ? identity.discrimination : std::string();
        const ShardManifest written = shardManifest(identity, 999999, 1000000, "partials");
        const ShardManifest read = test::valueOf(parseManifest(composeManifest(written), "m"));
        expectSameManifest(read, written);
        EXPECT_EQ(studyFingerprint(StudyIdentity{identity.sources, identity.consumers,
                                                 identity.discrimination, read.hasDiscrimination,
                                                 read.options}),
                  read.fingerprint);
    }
}

TEST(ShardManifest, FingerprintChangesWithEveryTableAndOption) {
    const StudyIdentity base = identityWithEveryOption();
    const std::string fingerprint = studyFingerprint(base);
    std::vector<StudyIdentity> changed(12, base);
    changed[0].sources += " ";
    changed[1].consumers += " ";
    changed[2].discrimination += " ";
    changed[3].hasDiscrimination = false;
    changed[4].options.increment = "2.50";
    changed[5].options.tolerance = "0.3";
    changed[6].options.draws = 999999;
    changed[7].options.seed = 0;
    changed[8].options.by.pop_back();
    changed[9].options.concentrations = true;
    changed[10].options.limits.pop_back();
    // The fields are kept apart: moving text from one to the next is another study.
    changed[11].options.by = {"Région", "Sex\t\"quoted\"Small fish=10-40"};
    changed[11].options.limits.erase(changed[11].options.limits.begin());
    for (std::size_t i = 0; i < changed.size(); ++i) {
        EXPECT_NE(studyFingerprint(changed[i]), fingerprint) << "change " << i;
    }
}

TEST(ShardManifest, ReadsBothLineFormatsOfEarlierVersions) {
    // The field values are those the earlier version wrote for its shard of examples/study;
    // shards from before concentrations mixed linearly.
    for (const auto& [name, concentrations] :
         {std::pair{"earlier-format/manifest.txt", true}, {"manifest-before-limits.txt", false}}) {
        SCOPED_TRACE(name);
        const StudyOptions options{"2", "0.3", 60,     1, {"Habitat"}, concentrations,
                                   {},  false, "both", ""};
        expectSameManifest(test::valueOf(parseManifest(test::readFile(kShards + name), name)),
                           {"2d2ad33578b82def", "4f87526bcc68f94c", "8128de76aec3d0d9",
                            "aaf099bc783973fe", 0, 1, true, options, "314a9d4d38071de6"});
    }
}

TEST(ShardManifest, RefusesDamagedManifestsNamingTheFile) {
    const std::string good = composeManifest(shardManifest(identityWithEveryOption(), 1, 3, "p"));
    for (const test::TableRow& row : test::readTable("shards/damaged-manifests.tsv", 4, 18)) {
        const auto& [form, from, to, why] =
            std::tie(row.fields[0], row.fields[1], row.fields[2], row.fields[3]);
        std::string text = form == "text"   ? from
                           : form == "half" ? good.substr(0, good.size() / 2)
                                            : good;
        if (form == "replace") {
            ASSERT_NE(text.find(from), std::string::npos) << from;
            text.replace(text.find(from), from.size(), to);
        }
        const Expected<ShardManifest> read = parseManifest(text, "shard-1/manifest.txt");
        ASSERT_FALSE(read) << text;
        EXPECT_EQ(read.error().kind, Error::Kind::FileRead);
        EXPECT_EQ(read.error().message,
                  "shard-1/manifest.txt: not a complete shard manifest (" + why + ")")
            << row.where;
    }
}

/// A study of one source set of `sources` sources and `consumers` consumers, enough for
/// the partial results' reader.
Study studyOf(int consumers, int sources) {
    Study study;
    study.tracers = {"d13C"};
    study.sourceSets.resize(1);
    study.sourceSets[0].sources.resize(static_cast<std::size_t>(sources));
    for (int c = 1; c <= consumers; ++c) {
        StudyConsumer consumer;
        consumer.row = c;
        study.consumers.push_back(consumer);
    }
    return study;
}

TEST(ShardPartials, ReadBackEveryCountAndWeightBitForBit) {
    const Study study = studyOf(3, 10);
    StudyOutcome outcome;
    outcome.consumers.resize(3);
    const double weights[] = {0.1,
                              1.0 / 3.0,
                              std::numeric_limits<double>::denorm_min(),
                              std::numeric_limits<double>::min(),
                              std::numeric_limits<double>::max(),
                              std::nextafter(1.0, 2.0),
                              12345.678};
    int n = 0;
    for (std::size_t c = 0; c < 3; ++c) {
        ConsumerOutcome& consumer = outcome.consumers[c];
        consumer.sources = c == 1 ? 10 : 3;
        consumer.feasible = c == 2 ? 0 : std::numeric_limits<std::uint64_t>::max() - c;
        consumer.drawsFeasible = static_cast<int>(c) * 7;
        for (int s = 0; s < consumer.sources; ++s) {
            for (int b = 0; b < kHistogramLevels; b += 13 + s) {
                const auto source = static_cast<std::size_t>(s);
                const auto level = static_cast<std::size_t>(b);
                consumer.exact[source][level] = static_cast<std::uint64_t>(n) * 1000003u + 1u;
                consumer.pooled[source][level] = weights[n++ % 7];
            }
        }
    }
    StudySettings settings;
    const std::string text = composePartials(study, outcome, settings);
    StudyOutcome read;
    read.consumers.resize(3);
    std::vector<bool> seen(3, false);
    ASSERT_TRUE(readPartials(text, "p", study, read, seen));
    EXPECT_EQ(seen, std::vector<bool>(3, true));
    // The weights bit for bit: the doubles' representations, not their values within a margin.
    const auto fields = [](const ConsumerOutcome& o) {
        return std::tuple(o.sources, o.feasible, o.drawsFeasible, o.exact,
                          std::bit_cast<ShareHistograms>(o.pooled));
    };
    for (std::size_t c = 0; c < 3; ++c) {
        EXPECT_EQ(fields(read.consumers[c]), fields(outcome.consumers[c])) << "consumer " << c;
    }
    // The weights as C's "%a" writes them in the "C" locale, which earlier shards hold.
    EXPECT_NE(text.find(" 0x1.999999999999ap-4\n"), std::string::npos);
    EXPECT_NE(text.find(" 0x0.0000000000001p-1022\n"), std::string::npos);
    EXPECT_NE(text.find(" 0x1.fffffffffffffp+1023\n"), std::string::npos);
}

TEST(ShardPartials, RefuseDamagedLinesNamingFileAndLine) {
    const Study study = studyOf(2, 3);
    for (const test::TableRow& row : test::readTable("shards/damaged-partials.tsv", 2, 16)) {
        StudyOutcome read;
        read.consumers.resize(2);
        std::vector<bool> seen(2, false);
        const Status status = readPartials(row.fields[0], "p", study, read, seen);
        ASSERT_FALSE(status) << row.fields[0];
        EXPECT_EQ(status.error().message, row.fields[1]) << row.where;
    }
}

} // namespace
} // namespace fenlowick
