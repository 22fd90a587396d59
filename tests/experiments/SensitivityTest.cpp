#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "experiments/Experiments.h"

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

}  // namespace
