#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "experiments/Experiments.h"

namespace varnolt {

namespace {

TEST(Morris, FindsKnownEffectsAndAnInertFactor) {
  // y = 2 x0 + x1^2 + 0 x2: x0 linear (mu* 2, sigma 0), x1 non-linear (sigma > 0), x2 inert.
  const MorrisDesign design = MakeMorrisDesign(3, 30, 4, 11);
  ASSERT_EQ(design.points.size(), 30u * 4u);
  std::vector<double> outputs;
  for (const auto& x : design.points) {
    for (double v : x) {
      EXPECT_GE(v, 0.0);
      EXPECT_LE(v, 1.0);
    }
    outputs.push_back(2 * x[0] + x[1] * x[1]);
  }
  const std::vector<MorrisIndex> indices = MorrisIndices(3, design.points, outputs);
  EXPECT_NEAR(indices[0].muStar, 2.0, 1e-12);
  EXPECT_NEAR(indices[0].sigma, 0.0, 1e-12);
  EXPECT_EQ(indices[0].effects, 30);
  EXPECT_GT(indices[1].sigma, 0.1);
  EXPECT_EQ(indices[2].muStar, 0.0);

  // A failed point loses the effects either side of it, nothing more.
  outputs[1] = std::nan("");
  const std::vector<MorrisIndex> lost = MorrisIndices(3, design.points, outputs);
  EXPECT_EQ(lost[0].effects + lost[1].effects + lost[2].effects, 30 * 3 - 2);
}

TEST(Morris, MuStarAveragesTheSizesOfEffectsOfBothSigns) {
  // y = (x0 - 1/2)^2 on four levels: each effect is -1/3 or +1/3 as the step lies
  // below or above the middle, so mu* is 1/3 while mu is near 0.
  const MorrisDesign design = MakeMorrisDesign(1, 40, 4, 5);
  std::vector<double> outputs;
  for (const auto& x : design.points) outputs.push_back((x[0] - 0.5) * (x[0] - 0.5));
  const std::vector<MorrisIndex> indices = MorrisIndices(1, design.points, outputs);
  ASSERT_EQ(indices[0].effects, 40);
  EXPECT_NEAR(indices[0].muStar, 1.0 / 3.0, 1e-12);
  EXPECT_LT(std::abs(indices[0].mu), indices[0].muStar - 0.05);
  EXPECT_NEAR(indices[0].sigma, std::sqrt(1.0 / 9.0 - indices[0].mu * indices[0].mu) * std::sqrt(40.0 / 39.0), 1e-9);
}

TEST(Sobol, IshigamiIndicesWithinPublishedValues) {
  // Ishigami with a = 7, b = 0.1 over [-pi, pi]^3: S = 0.3139, 0.4424, 0;
  // ST = 0.5576, 0.4424, 0.2437.
  const SaltelliDesign design = MakeSaltelliDesign(3, 8192);
  ASSERT_EQ(design.points.size(), 8192u * 5u);
  std::vector<double> outputs;
  for (const auto& u : design.points) {
    const double pi = std::numbers::pi;
    const double x1 = -pi + 2 * pi * u[0], x2 = -pi + 2 * pi * u[1], x3 = -pi + 2 * pi * u[2];
    outputs.push_back(std::sin(x1) + 7 * std::sin(x2) * std::sin(x2) + 0.1 * std::pow(x3, 4) * std::sin(x1));
  }
  const std::vector<SobolIndex> indices = SobolIndices(design, outputs, 100, 5);
  const double first[] = {0.3139, 0.4424, 0.0};
  const double total[] = {0.5576, 0.4424, 0.2437};
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(indices[i].first, first[i], 0.03) << i;
    EXPECT_NEAR(indices[i].total, total[i], 0.03) << i;
    EXPECT_LE(indices[i].firstLow, indices[i].first);
    EXPECT_GE(indices[i].firstHigh, indices[i].first);
    EXPECT_LE(indices[i].totalLow, indices[i].total);
    EXPECT_GE(indices[i].totalHigh, indices[i].total);
    EXPECT_EQ(indices[i].samples, 8192);
  }
}

// The Sobol sequence by its textbook construction from Joe and Kuo's published
// direction numbers (new-joe-kuo-6.21201): dimension 1 has every m = 1; then
// (s, a, m...) = (1, 0, 1), (2, 1, 1 3), (3, 1, 1 3 1).
std::vector<std::vector<double>> JoeKuoPoints(int count) {
  struct Dimension {
    unsigned s, a;
    std::vector<std::uint32_t> m;
  };
  const std::vector<Dimension> dimensions = {{1, 0, {1}}, {1, 0, {1}}, {2, 1, {1, 3}}, {3, 1, {1, 3, 1}}};
  constexpr unsigned bits = 32;
  std::vector<std::vector<std::uint32_t>> v(dimensions.size(), std::vector<std::uint32_t>(bits + 1));
  for (std::size_t d = 0; d < dimensions.size(); ++d) {
    const Dimension& dim = dimensions[d];
    for (unsigned i = 1; i <= bits; ++i) {
      if (d == 0) {
        v[d][i] = 1u << (bits - i);
      } else if (i <= dim.s) {
        v[d][i] = dim.m[i - 1] << (bits - i);
      } else {
        v[d][i] = v[d][i - dim.s] ^ (v[d][i - dim.s] >> dim.s);
        for (unsigned k = 1; k < dim.s; ++k) v[d][i] ^= ((dim.a >> (dim.s - 1 - k)) & 1u) * v[d][i - k];
      }
    }
  }
  std::vector<std::vector<double>> points;
  std::vector<std::uint32_t> x(dimensions.size(), 0);
  points.push_back(std::vector<double>(dimensions.size(), 0.0));  // point 0, the corner
  for (int i = 1; i < count; ++i) {
    unsigned c = 1;  // the place of the lowest zero bit of i - 1
    for (unsigned value = static_cast<unsigned>(i - 1); value & 1u; value >>= 1) ++c;
    std::vector<double> point;
    for (std::size_t d = 0; d < dimensions.size(); ++d) {
      x[d] ^= v[d][c];
      point.push_back(std::ldexp(static_cast<double>(x[d]), -static_cast<int>(bits)));
    }
    points.push_back(point);
  }
  return points;
}

TEST(Sobol, BaseSamplesAreTheSequenceFromItsPointOneAgainstThePublishedDirectionNumbers) {
  const std::vector<std::vector<double>> published = JoeKuoPoints(258);
  // The well-known first points, as a check on the construction itself.
  EXPECT_EQ(published[1], (std::vector<double>{0.5, 0.5, 0.5, 0.5}));
  EXPECT_EQ(published[2], (std::vector<double>{0.75, 0.25, 0.25, 0.25}));
  EXPECT_EQ(published[3], (std::vector<double>{0.25, 0.75, 0.75, 0.75}));
  EXPECT_EQ(published[4][2], 0.625);

  // Two factors: A is dimensions 1 and 2, B dimensions 3 and 4 of points 1 to N;
  // only the corner 0 is left out.
  const SaltelliDesign design = MakeSaltelliDesign(2, 256);
  ASSERT_EQ(design.points.size(), 256u * 4u);
  for (std::size_t j = 0; j < 256; ++j) {
    const std::vector<double>& p = published[j + 1];
    ASSERT_EQ(design.points[j], (std::vector<double>{p[0], p[1]})) << "A row " << j;
    ASSERT_EQ(design.points[256 + j], (std::vector<double>{p[2], p[3]})) << "B row " << j;
    ASSERT_EQ(design.points[512 + j], (std::vector<double>{p[2], p[1]})) << "A_B1 row " << j;
    ASSERT_EQ(design.points[768 + j], (std::vector<double>{p[0], p[3]})) << "A_B2 row " << j;
  }
}

TEST(Sobol, AnOutputThatDoesNotVaryHasNoIndices) {
  const SaltelliDesign design = MakeSaltelliDesign(2, 64);
  // Every run alike, but for rounding residues of about 1e-15 (a variance of
  // 1e-30, which would give "S1 = 1.000 (1.000 to 1.000)").
  std::vector<double> constant;
  for (std::size_t p = 0; p < design.points.size(); ++p) constant.push_back(31.4 + (p % 3) * 1e-15);
  EXPECT_FALSE(OutputVaries(constant));
  for (const SobolIndex& index : SobolIndices(design, constant, 50, 1)) {
    EXPECT_TRUE(std::isnan(index.first));
    EXPECT_TRUE(std::isnan(index.firstLow));
    EXPECT_TRUE(std::isnan(index.total));
    EXPECT_TRUE(std::isnan(index.totalHigh));
    EXPECT_EQ(index.samples, 64);
  }
  const std::vector<double> zero(design.points.size(), 0.0);
  EXPECT_FALSE(OutputVaries(zero));

  // A small output that does vary keeps its indices, whatever its scale.
  std::vector<double> small;
  for (const auto& u : design.points) small.push_back(1e-9 * u[0]);
  EXPECT_TRUE(OutputVaries(small));
  const std::vector<SobolIndex> indices = SobolIndices(design, small, 50, 1);
  EXPECT_NEAR(indices[0].total, 1.0, 0.1);
  EXPECT_NEAR(indices[1].total, 0.0, 1e-12);
}

TEST(Morris, TheMuStarIntervalCoversTheTrueValueAboutNineteenTimesInTwenty) {
  // y = x0 x1 + 0 x2 on 4 levels: x0's effect is x1 where it moves, and x1 is
  // then each level equally often, so mu*(x0) = (0 + 1/3 + 2/3 + 1) / 4 = 0.5.
  int covered = 0;
  constexpr int designs = 400;
  for (int seed = 1; seed <= designs; ++seed) {
    const MorrisDesign design = MakeMorrisDesign(3, 20, 4, static_cast<std::uint64_t>(seed));
    std::vector<double> outputs;
    for (const auto& x : design.points) outputs.push_back(x[0] * x[1]);
    const std::vector<MorrisIndex> indices = MorrisIndices(3, design.points, outputs, 200, 1000u + seed);
    const MorrisIndex& m = indices[0];
    ASSERT_LE(m.muStarLow, m.muStar);
    ASSERT_GE(m.muStarHigh, m.muStar);
    covered += m.muStarLow <= 0.5 && 0.5 <= m.muStarHigh ? 1 : 0;
    // The inert factor: no effect, and an interval of nothing but 0.
    ASSERT_EQ(indices[2].muStar, 0.0);
    ASSERT_EQ(indices[2].muStarLow, 0.0);
    ASSERT_EQ(indices[2].muStarHigh, 0.0);
  }
  // A percentile bootstrap of 20 trajectories covers a little under 95 %.
  EXPECT_GE(covered, designs * 88 / 100);
  EXPECT_LE(covered, designs * 98 / 100);

  // Without resamples the interval is mu* itself; the same seed, the same interval.
  const MorrisDesign design = MakeMorrisDesign(2, 10, 4, 3);
  std::vector<double> outputs;
  for (const auto& x : design.points) outputs.push_back(x[0] * x[1]);
  const std::vector<MorrisIndex> plain = MorrisIndices(2, design.points, outputs);
  EXPECT_EQ(plain[0].muStarLow, plain[0].muStar);
  EXPECT_EQ(plain[0].muStarHigh, plain[0].muStar);
  EXPECT_EQ(MorrisIndices(2, design.points, outputs, 100, 9)[0].muStarLow,
            MorrisIndices(2, design.points, outputs, 100, 9)[0].muStarLow);
}

}  // namespace

}  // namespace varnolt
