#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>

#include <boost/random/sobol.hpp>

#include "experiments/Experiments.h"

namespace varnolt {

MorrisDesign MakeMorrisDesign(int factors, int trajectories, int levels, std::uint64_t seed) {
  MorrisDesign design;
  design.factors = factors;
  // The usual step of p / (2 (p - 1)): every level is visited equally often.
  const int half = std::max(1, levels / 2);
  const double delta = static_cast<double>(half) / (levels - 1);
  std::mt19937_64 random(seed);
  for (int t = 0; t < trajectories; ++t) {
    std::vector<double> x(static_cast<std::size_t>(factors));
    std::vector<double> direction(static_cast<std::size_t>(factors));
    for (int i = 0; i < factors; ++i) {
      const int start = std::uniform_int_distribution<int>(0, levels - 1 - half)(random);
      const bool up = std::uniform_int_distribution<int>(0, 1)(random) == 1;
      x[i] = up ? start / double(levels - 1) : start / double(levels - 1) + delta;
      direction[i] = up ? delta : -delta;
    }
    std::vector<int> order(static_cast<std::size_t>(factors));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), random);
    design.points.push_back(x);
    for (int i : order) {
      x[i] += direction[i];
      design.points.push_back(x);
    }
  }
  return design;
}

namespace {

// mu, mu* and sigma of each factor from the effects of the trajectories chosen
// (a trajectory may be chosen more than once).
void MorrisMoments(const std::vector<std::vector<std::vector<double>>>& effects, const std::vector<std::size_t>& chosen,
                   std::vector<MorrisIndex>& indices) {
  for (std::size_t i = 0; i < indices.size(); ++i) {
    MorrisIndex& index = indices[i];
    std::size_t n = 0;
    double sum = 0.0, absolute = 0.0;
    for (std::size_t t : chosen) {
      for (double v : effects[t][i]) {
        sum += v;
        absolute += std::abs(v);
        ++n;
      }
    }
    index.effects = static_cast<int>(n);
    if (n == 0) {
      index.mu = index.muStar = index.sigma = std::numeric_limits<double>::quiet_NaN();
      continue;
    }
    index.mu = sum / static_cast<double>(n);
    index.muStar = absolute / static_cast<double>(n);
    index.sigma = 0.0;
    if (n > 1) {
      double squares = 0.0;
      for (std::size_t t : chosen) {
        for (double v : effects[t][i]) squares += (v - index.mu) * (v - index.mu);
      }
      index.sigma = std::sqrt(squares / static_cast<double>(n - 1));
    }
  }
}

double Percentile(std::vector<double> values, double p) {
  values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }), values.end());
  if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
  std::sort(values.begin(), values.end());
  const double at = p * static_cast<double>(values.size() - 1);
  const auto low = static_cast<std::size_t>(std::floor(at));
  const std::size_t high = std::min(low + 1, values.size() - 1);
  return values[low] + (values[high] - values[low]) * (at - static_cast<double>(low));
}

}  // namespace

std::vector<MorrisIndex> MorrisIndices(int factors, std::span<const std::vector<double>> points,
                                       std::span<const double> outputs, int bootstrap, std::uint64_t seed) {
  // effects[trajectory][factor]: the trajectory is the unit the bootstrap resamples,
  // as the design drew them independently.
  const std::size_t perTrajectory = static_cast<std::size_t>(factors) + 1;
  std::vector<std::vector<std::vector<double>>> effects;
  for (std::size_t start = 0; start + perTrajectory <= points.size(); start += perTrajectory) {
    std::vector<std::vector<double>>& trajectory = effects.emplace_back(static_cast<std::size_t>(factors));
    for (std::size_t step = 1; step < perTrajectory; ++step) {
      const std::vector<double>& before = points[start + step - 1];
      const std::vector<double>& after = points[start + step];
      for (int i = 0; i < factors; ++i) {
        const double moved = after[i] - before[i];
        if (moved == 0.0) continue;
        const double y0 = outputs[start + step - 1];
        const double y1 = outputs[start + step];
        if (std::isnan(y0) || std::isnan(y1)) continue;
        trajectory[i].push_back((y1 - y0) / moved);
      }
    }
  }
  std::vector<std::size_t> all(effects.size());
  std::iota(all.begin(), all.end(), 0);
  std::vector<MorrisIndex> indices(static_cast<std::size_t>(factors));
  MorrisMoments(effects, all, indices);
  for (MorrisIndex& index : indices) index.muStarLow = index.muStarHigh = index.muStar;
  if (bootstrap <= 0 || effects.empty()) return indices;

  std::vector<std::vector<double>> draws(indices.size());
  std::mt19937_64 random(seed);
  std::uniform_int_distribution<std::size_t> pick(0, effects.size() - 1);
  std::vector<std::size_t> resample(effects.size());
  std::vector<MorrisIndex> drawn(indices.size());
  for (int b = 0; b < bootstrap; ++b) {
    for (std::size_t& t : resample) t = pick(random);
    MorrisMoments(effects, resample, drawn);
    for (std::size_t i = 0; i < indices.size(); ++i) draws[i].push_back(drawn[i].muStar);
  }
  for (std::size_t i = 0; i < indices.size(); ++i) {
    if (std::isnan(indices[i].muStar)) continue;
    indices[i].muStarLow = Percentile(draws[i], 0.025);
    indices[i].muStarHigh = Percentile(draws[i], 0.975);
  }
  return indices;
}

SaltelliDesign MakeSaltelliDesign(int factors, int samples) {
  SaltelliDesign design;
  design.factors = factors;
  design.samples = samples;
  const auto k = static_cast<std::size_t>(factors);
  const auto n = static_cast<std::size_t>(samples);
  // Boost's generator leaves out the sequence's first point, the corner 0, which
  // every Sobol sequence shares: A and B start at its point 1.
  boost::random::sobol sequence(2 * k);
  const double scale = 1.0 / (static_cast<double>(sequence.max()) + 1.0);
  std::vector<std::vector<double>> a(n, std::vector<double>(k));
  std::vector<std::vector<double>> b(n, std::vector<double>(k));
  for (std::size_t j = 0; j < n; ++j) {
    for (std::size_t i = 0; i < k; ++i) a[j][i] = static_cast<double>(sequence()) * scale;
    for (std::size_t i = 0; i < k; ++i) b[j][i] = static_cast<double>(sequence()) * scale;
  }
  design.points = a;
  design.points.insert(design.points.end(), b.begin(), b.end());
  for (std::size_t i = 0; i < k; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      std::vector<double> row = a[j];
      row[i] = b[j][i];
      design.points.push_back(std::move(row));
    }
  }
  return design;
}

namespace {

// An output whose variance is no more than rounding (1e-12 of its mean square)
// does not vary: indices of it would be ratios of rounding residues.
bool Varies(double variance, double mean) {
  return variance > 0.0 && variance > SobolVarianceFloor * (variance + mean * mean);
}

// First-order and total index of every factor from the rows chosen.
void JansenEstimates(const SaltelliDesign& design, std::span<const double> y, const std::vector<std::size_t>& rows,
                     std::vector<double>& first, std::vector<double>& total) {
  const auto n = static_cast<std::size_t>(design.samples);
  const auto k = static_cast<std::size_t>(design.factors);
  double mean = 0.0;
  for (std::size_t j : rows) mean += y[j] + y[n + j];
  mean /= 2.0 * static_cast<double>(rows.size());
  double variance = 0.0;
  for (std::size_t j : rows) variance += (y[j] - mean) * (y[j] - mean) + (y[n + j] - mean) * (y[n + j] - mean);
  variance /= 2.0 * static_cast<double>(rows.size()) - 1.0;
  first.assign(k, std::numeric_limits<double>::quiet_NaN());
  total.assign(k, std::numeric_limits<double>::quiet_NaN());
  if (!Varies(variance, mean)) return;
  for (std::size_t i = 0; i < k; ++i) {
    const std::size_t ab = (2 + i) * n;
    double firstSum = 0.0;
    double totalSum = 0.0;
    for (std::size_t j : rows) {
      firstSum += (y[n + j] - y[ab + j]) * (y[n + j] - y[ab + j]);
      totalSum += (y[j] - y[ab + j]) * (y[j] - y[ab + j]);
    }
    const double half = 2.0 * static_cast<double>(rows.size());
    first[i] = (variance - firstSum / half) / variance;
    total[i] = totalSum / half / variance;
  }
}

}  // namespace

bool OutputVaries(std::span<const double> outputs) {
  double mean = 0.0;
  std::size_t n = 0;
  for (double y : outputs) {
    if (std::isnan(y)) continue;
    mean += y;
    ++n;
  }
  if (n < 2) return false;
  mean /= static_cast<double>(n);
  double variance = 0.0;
  for (double y : outputs) {
    if (!std::isnan(y)) variance += (y - mean) * (y - mean);
  }
  variance /= static_cast<double>(n - 1);
  return Varies(variance, mean);
}

std::vector<SobolIndex> SobolIndices(const SaltelliDesign& design, std::span<const double> outputs, int bootstrap,
                                     std::uint64_t seed) {
  const auto n = static_cast<std::size_t>(design.samples);
  const auto k = static_cast<std::size_t>(design.factors);
  // A row counts only when all of its k + 2 runs gave an output.
  std::vector<std::size_t> rows;
  for (std::size_t j = 0; j < n; ++j) {
    bool whole = true;
    for (std::size_t block = 0; block < k + 2; ++block) whole = whole && !std::isnan(outputs[block * n + j]);
    if (whole) rows.push_back(j);
  }
  std::vector<SobolIndex> indices(k);
  if (rows.size() < 2 || !OutputVaries(outputs)) {
    for (SobolIndex& index : indices) {
      index.first = index.firstLow = index.firstHigh = std::numeric_limits<double>::quiet_NaN();
      index.total = index.totalLow = index.totalHigh = std::numeric_limits<double>::quiet_NaN();
      index.samples = static_cast<int>(rows.size());
    }
    return indices;
  }
  std::vector<double> first, total;
  JansenEstimates(design, outputs, rows, first, total);

  std::vector<std::vector<double>> firstDraws(k), totalDraws(k);
  std::mt19937_64 random(seed);
  std::uniform_int_distribution<std::size_t> pick(0, rows.size() - 1);
  std::vector<std::size_t> resample(rows.size());
  for (int b = 0; b < bootstrap; ++b) {
    for (std::size_t& r : resample) r = rows[pick(random)];
    std::vector<double> f, t;
    JansenEstimates(design, outputs, resample, f, t);
    for (std::size_t i = 0; i < k; ++i) {
      firstDraws[i].push_back(f[i]);
      totalDraws[i].push_back(t[i]);
    }
  }
  for (std::size_t i = 0; i < k; ++i) {
    SobolIndex& index = indices[i];
    index.samples = static_cast<int>(rows.size());
    index.first = first[i];
    index.total = total[i];
    index.firstLow = bootstrap > 0 ? Percentile(firstDraws[i], 0.025) : first[i];
    index.firstHigh = bootstrap > 0 ? Percentile(firstDraws[i], 0.975) : first[i];
    index.totalLow = bootstrap > 0 ? Percentile(totalDraws[i], 0.025) : total[i];
    index.totalHigh = bootstrap > 0 ? Percentile(totalDraws[i], 0.975) : total[i];
  }
  return indices;
}

}  // namespace varnolt
