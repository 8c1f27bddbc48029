#!/usr/bin/python3
"""Fits the EQ voicings for 88.2, 96, 176.4 and 192 kHz and writes dsp/eq_voicing.cpp.

Rerun from the repository root with Debian's Python (numpy and scipy):
    /usr/bin/python3 tools/fit_eq_voicing.py            # rewrites dsp/eq_voicing.cpp, prints the fit figures
    /usr/bin/python3 tools/fit_eq_voicing.py --check    # prints the figures only
A rerun reproduces the fit figures it prints; the last digits of a refit can differ from run to run
(the optimiser's path is sensitive to floating-point rounding in threaded linear algebra), so the
committed table is the reference: commit it together with any change here, and check it with
tests/dsp/eq_voicing_test.cpp.

The 44.1 and 48 kHz voicings below are the reference voicings. Each higher-rate voicing keeps
the section types and breakpoints and refits every breakpoint's frequencies, Q values and gains so
that its magnitude response at its own rate matches the 48 kHz voicing's response at 48 kHz from
20 Hz to 20 kHz. All breakpoints of a curve are fitted together, starting from the 48 kHz values,
against the errors at the breakpoints and halfway between them, so the parameters vary smoothly
and the responses the EQ interpolates between breakpoints match as well. Takes some minutes.
"""

import argparse
import math
import os
import sys

# Single-threaded linear algebra keeps the floating-point sums, and so the fit, as repeatable as it gets.
for _var in ("OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(_var, "1")

import numpy as np  # noqa: E402
from scipy.optimize import least_squares  # noqa: E402
from scipy.sparse import lil_matrix  # noqa: E402

RATES = (44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0)
FITTED_RATES = RATES[2:]
MAX_POINTS = 20
LOW_SHELF, PEAKING, HIGH_SHELF = 0, 1, 2

# Rows of the 48 kHz tables: breakpoint dB, then freq Hz, Q, gain dB per section.
# Rows of the 44.1 kHz tables: freq Hz, Q, gain dB per section (same breakpoints).
LOW_48K = [
    (0.027025, 754.863, 0.599266, 0.026434, 2527.18, 0.337534, 0.02869),
    (0.051035, 1579.54, 0.617543, 0.049004, 2842.03, 0.3526, 0.030672),
    (0.136669, 2636.8, 0.635222, 0.137123, 3127.62, 0.362388, -0.004127),
    (0.286992, 2473.3, 0.608456, 0.288565, 3074.83, 0.381106, -0.120351),
    (0.571389, 1424.81, 0.530321, 0.570452, 2218.76, 0.42498, -0.278071),
    (1.064297, 707.374, 0.500713, 1.06561, 1542.18, 0.476982, -0.481573),
    (1.880053, 403.368, 0.513784, 1.88545, 1073.73, 0.500935, -0.760224),
    (3.081291, 271.19, 0.516409, 3.09824, 757.836, 0.504226, -1.17746),
    (4.642738, 200.907, 0.510834, 4.69291, 568.354, 0.505397, -1.7122),
    (6.413087, 157.826, 0.503096, 6.5335, 461.246, 0.513588, -2.29106),
    (8.179118, 129.749, 0.494794, 8.4201, 400.171, 0.526797, -2.83901),
    (9.769028, 111.221, 0.484325, 10.1988, 362.834, 0.538909, -3.32542),
]
LOW_44K = [
    (770.801, 0.593074, 0.026455, 2569.81, 0.335333, 0.028494),
    (1588.38, 0.613129, 0.049044, 2873.09, 0.348447, 0.030562),
    (2614.6, 0.633021, 0.137089, 3138.77, 0.356664, -0.003302),
    (2464.92, 0.610208, 0.28872, 3068.18, 0.373884, -0.119355),
    (1438.7, 0.533353, 0.570638, 2204.28, 0.417268, -0.27882),
    (719.086, 0.500203, 1.0655, 1528.82, 0.469965, -0.486221),
    (407.359, 0.512015, 1.88564, 1066.35, 0.496016, -0.765721),
    (272.206, 0.515624, 3.09847, 755.674, 0.501899, -1.18071),
    (201.202, 0.510525, 4.69305, 567.737, 0.504334, -1.71402),
    (157.949, 0.502913, 6.53364, 460.982, 0.512951, -2.29241),
    (129.812, 0.494657, 8.42028, 400.025, 0.526341, -2.84011),
    (111.258, 0.484214, 10.1991, 362.741, 0.538552, -3.32635),
]
HIGH_48K = [
    (0.109906, 11886.8, 1.00645, 0.115227, 16656.0, 0.506426, 0.000956, 7467.56, 0.556148, -0.011507),
    (0.217577, 11602.4, 0.869729, 0.296959, 16602.5, 0.538534, -0.095208, 7051.99, 0.525935, -0.100763),
    (0.380502, 11403.3, 0.74416, 0.527701, 16543.8, 0.5754, -0.113096, 6540.99, 0.494044, -0.212937),
    (0.571647, 11193.3, 0.64833, 0.785342, 16431.2, 0.621558, -0.083376, 6067.4, 0.46435, -0.34464),
    (0.780719, 10972.5, 0.586015, 1.06764, 16260.0, 0.677421, -0.02177, 5683.18, 0.439691, -0.492392),
    (1.024877, 10769.1, 0.544151, 1.38768, 16078.8, 0.730483, 0.073871, 5397.01, 0.420411, -0.640035),
    (1.261966, 10562.8, 0.519326, 1.73003, 15947.6, 0.756753, 0.17278, 5182.38, 0.399225, -0.816791),
    (1.540506, 10369.2, 0.497363, 2.12592, 15891.8, 0.744691, 0.304916, 5062.89, 0.382436, -1.00667),
    (1.831547, 10187.1, 0.480102, 2.57013, 15904.9, 0.708501, 0.455879, 5022.88, 0.365217, -1.23598),
    (2.152883, 10041.2, 0.465158, 3.07913, 15977.3, 0.669296, 0.631096, 5047.41, 0.349053, -1.49967),
    (2.519139, 9949.58, 0.451671, 3.6655, 16113.6, 0.637188, 0.830968, 5119.79, 0.334461, -1.79085),
    (2.915957, 9924.53, 0.440698, 4.32778, 16318.8, 0.612067, 1.03694, 5228.67, 0.319531, -2.11596),
    (3.358911, 9958.24, 0.430958, 5.07056, 16603.5, 0.592025, 1.2479, 5349.44, 0.306162, -2.47053),
    (3.86311, 10040.0, 0.422601, 5.89502, 16970.0, 0.576626, 1.46192, 5458.91, 0.295352, -2.84785),
    (4.440651, 10166.7, 0.416764, 6.79887, 17401.5, 0.56671, 1.66819, 5540.16, 0.287001, -3.23637),
    (5.114654, 10341.6, 0.414813, 7.78061, 17866.9, 0.564017, 1.85318, 5583.9, 0.280796, -3.612),
    (5.931963, 10562.2, 0.418359, 8.84046, 18332.0, 0.569089, 2.00809, 5569.77, 0.277309, -3.93993),
    (6.937925, 10807.9, 0.430949, 9.96464, 18787.7, 0.572398, 2.13028, 5465.18, 0.278052, -4.20387),
]
HIGH_44K = [
    (11861.9, 0.88976, 0.11439, 14371.9, 0.60173, 0.005884, 7479.03, 0.569416, -0.014608),
    (11605.7, 0.785453, 0.292179, 14435.5, 0.628928, -0.057174, 6995.72, 0.533684, -0.106778),
    (11369.4, 0.692439, 0.512817, 14500.5, 0.657381, -0.048351, 6438.74, 0.496998, -0.214602),
    (11115.7, 0.623827, 0.756867, 14555.1, 0.685619, 0.006496, 5932.65, 0.464417, -0.334211),
    (10854.6, 0.579355, 1.02317, 14598.5, 0.706234, 0.094639, 5530.1, 0.438536, -0.46596),
    (10606.8, 0.545573, 1.32482, 14630.6, 0.709249, 0.220963, 5242.42, 0.419297, -0.601037),
    (10356.2, 0.521183, 1.64645, 14659.5, 0.69185, 0.356707, 5037.23, 0.399571, -0.774426),
    (10119.1, 0.49703, 2.01992, 14691.1, 0.662558, 0.52926, 4929.32, 0.384455, -0.96786),
    (9907.28, 0.478362, 2.4419, 14741.6, 0.633161, 0.719898, 4892.5, 0.36866, -1.20105),
    (9744.88, 0.463101, 2.92849, 14824.3, 0.609164, 0.93277, 4911.01, 0.353513, -1.46498),
    (9644.08, 0.449601, 3.49031, 14958.3, 0.59056, 1.17027, 4968.83, 0.339851, -1.75283),
    (9612.25, 0.438527, 4.12398, 15159.3, 0.574921, 1.41728, 5054.23, 0.326019, -2.07176),
    (9640.74, 0.428439, 4.83282, 15435.7, 0.56186, 1.67424, 5143.43, 0.313971, -2.41706),
    (9721.01, 0.419424, 5.61719, 15786.1, 0.552395, 1.93925, 5215.32, 0.304649, -2.7808),
    (9853.58, 0.412471, 6.47418, 16190.9, 0.54767, 2.20156, 5257.14, 0.297791, -3.1507),
    (10044.8, 0.408742, 7.40174, 16618.4, 0.548527, 2.44921, 5264.33, 0.292934, -3.50332),
    (10295.2, 0.409504, 8.39969, 17038.7, 0.554421, 2.67802, 5220.47, 0.290676, -3.80648),
    (10590.2, 0.417586, 9.45473, 17444.7, 0.557798, 2.89086, 5097.9, 0.292654, -4.04859),
]
MID_BOOST_48K = [
    (0.527364, 502.073, 4.53756, 0.542667),
    (0.872066, 503.004, 2.96473, 0.898383),
    (1.230111, 503.729, 2.16247, 1.25356),
    (1.602617, 504.169, 1.71596, 1.62341),
    (1.992739, 504.294, 1.43322, 2.01074),
    (2.399706, 504.345, 1.2379, 2.41397),
    (2.824014, 504.474, 1.09474, 2.83287),
    (3.272947, 504.284, 0.989383, 3.27841),
    (3.746714, 504.012, 0.909031, 3.75007),
    (4.247882, 503.779, 0.846159, 4.2494),
    (4.777928, 503.611, 0.795818, 4.77678),
    (5.339891, 503.447, 0.75464, 5.33434),
    (5.944567, 503.256, 0.723571, 5.93818),
    (6.595622, 503.064, 0.70002, 6.58964),
]
MID_BOOST_44K = [
    (502.074, 4.53696, 0.542668),
    (503.006, 2.96429, 0.898379),
    (503.733, 2.16211, 1.25355),
    (504.175, 1.71565, 1.62339),
    (504.304, 1.43293, 2.01071),
    (504.358, 1.23762, 2.41391),
    (504.491, 1.09447, 2.83279),
    (504.305, 0.989115, 3.27829),
    (504.037, 0.908764, 3.74993),
    (503.809, 0.845893, 4.24922),
    (503.646, 0.795551, 4.77655),
    (503.485, 0.754371, 5.33406),
    (503.298, 0.7233, 5.93785),
    (503.11, 0.699746, 6.58924),
]
MID_CUT_48K = [
    (0.178756, 555.803, 0.870326, -0.175736),
    (0.449118, 532.009, 0.662749, -0.44805),
    (0.851826, 522.328, 0.544136, -0.846801),
    (1.390788, 517.911, 0.485415, -1.38459),
    (2.070162, 515.574, 0.458756, -2.0642),
    (2.887543, 514.181, 0.452508, -2.87952),
    (3.830488, 513.292, 0.462283, -3.82142),
    (4.870844, 512.686, 0.483815, -4.86121),
    (5.959848, 512.271, 0.513657, -5.95027),
    (7.036021, 511.958, 0.548281, -7.02783),
]
MID_CUT_44K = [
    (555.836, 0.870022, -0.175728),
    (532.07, 0.662457, -0.448019),
    (522.416, 0.543846, -0.846728),
    (518.021, 0.485122, -1.38445),
    (515.698, 0.45846, -2.06398),
    (514.308, 0.452211, -2.87921),
    (513.413, 0.461987, -3.82101),
    (512.795, 0.483519, -4.86071),
    (512.368, 0.513363, -5.94971),
    (512.042, 0.547986, -7.02722),
]

CURVES = (
    # name, C++ member, section types, travel midpoint, range, 48 kHz rows, 44.1 kHz rows
    ("Low", "low", (LOW_SHELF, PEAKING), 1.064297, 9.769028, LOW_48K, LOW_44K),
    ("High", "high", (PEAKING, HIGH_SHELF, PEAKING), 1.024877, 6.0, HIGH_48K, HIGH_44K),
    ("Mid boost", "midBoost", (PEAKING,), 0.0, 6.0, MID_BOOST_48K, MID_BOOST_44K),
    ("Mid cut", "midCut", (PEAKING,), 0.0, 6.0, MID_CUT_48K, MID_CUT_44K),
)

FREQS_HZ = np.geomspace(20.0, 20000.0, 600)


def design(kinds, x, rate):
    """Audio EQ Cookbook (R. Bristow-Johnson) biquads, Q form, normalised by a0.

    x has shape (..., sections, 3) holding ln(freq Hz), ln(Q), gain dB; returns b and a of shape
    (..., sections, 3)."""
    f = np.minimum(0.49 * rate, np.exp(x[..., 0]))
    w = 2.0 * np.pi * f / rate
    a = 10.0 ** (x[..., 2] / 40.0)
    cw = np.cos(w)
    alpha = np.sin(w) / (2.0 * np.exp(x[..., 1]))
    ra = 2.0 * np.sqrt(a) * alpha
    one = np.ones_like(a)
    peak_b = (1 + alpha * a, -2 * cw, 1 - alpha * a)
    peak_a = (1 + alpha / a, -2 * cw, 1 - alpha / a)
    low_b = (a * ((a + 1) - (a - 1) * cw + ra), 2 * a * ((a - 1) - (a + 1) * cw), a * ((a + 1) - (a - 1) * cw - ra))
    low_a = ((a + 1) + (a - 1) * cw + ra, -2 * ((a - 1) + (a + 1) * cw), (a + 1) + (a - 1) * cw - ra)
    high_b = (a * ((a + 1) + (a - 1) * cw + ra), -2 * a * ((a - 1) + (a + 1) * cw), a * ((a + 1) + (a - 1) * cw - ra))
    high_a = ((a + 1) - (a - 1) * cw + ra, 2 * ((a - 1) - (a + 1) * cw), (a + 1) - (a - 1) * cw - ra)
    kinds = np.asarray(kinds)
    b = np.stack([np.where(kinds == LOW_SHELF, lb, np.where(kinds == PEAKING, pb, hb))
                  for lb, pb, hb in zip(low_b, peak_b, high_b)], axis=-1)
    den = np.stack([np.where(kinds == LOW_SHELF, la, np.where(kinds == PEAKING, pa, ha)) * one
                    for la, pa, ha in zip(low_a, peak_a, high_a)], axis=-1)
    return b / den[..., :1], den / den[..., :1]


Z_CACHE = {}


def response_db(kinds, x, rate):
    """Magnitude in dB on FREQS_HZ of cascades x with shape (..., sections, 3); result (..., len(FREQS_HZ))."""
    if rate not in Z_CACHE:
        z = np.exp(-2j * np.pi * FREQS_HZ / rate)
        Z_CACHE[rate] = np.stack([np.ones_like(z), z, z * z])
    zz = Z_CACHE[rate]
    b, a = design(kinds, x, rate)
    h = (b @ zz) / (a @ zz)
    return 20.0 * np.log10(np.abs(np.prod(h, axis=-2)))


def to_x(rows):
    """Section parameter rows [[(f, q, g), ...], ...] to an array of ln f, ln q, g."""
    arr = np.array(rows, dtype=float)
    return np.stack([np.log(arr[..., 0]), np.log(arr[..., 1]), arr[..., 2]], axis=-1)


def from_x(x):
    return [[(float(math.exp(s[0])), float(math.exp(s[1])), float(s[2])) for s in row] for row in x]


def halfway(x):
    """Parameters halfway between neighbouring breakpoints, interpolated as the EQ does at run time
    (log-linear frequency and Q, linear gain): the mean in (ln f, ln q, g)."""
    return 0.5 * (x[:-1] + x[1:])


def rows_to_params(rows, count, with_breakpoint):
    start = 1 if with_breakpoint else 0
    return [[tuple(r[start + 3 * i:start + 3 * i + 3]) for i in range(count)] for r in rows]


def fit_curve(kinds, reference, rate):
    """Fits all breakpoints of one curve for one rate at once; reference is the 48 kHz parameter list.

    The residuals are the errors at every breakpoint and halfway between neighbours, so the
    interpolated response stays right as well; a weak pull towards the 48 kHz values keeps poorly
    determined parameters (at tiny gains) put. A least-squares pass is followed by a pass on cubed
    residuals, which approximates the worst-case (minimax) error."""
    x_ref = to_x(reference)
    shape = x_ref.shape
    k_count, n, _ = shape
    m = len(FREQS_HZ)
    target_points = response_db(kinds, x_ref, 48000.0)
    target_half = response_db(kinds, halfway(x_ref), 48000.0)
    lower = np.broadcast_to([math.log(10.0), math.log(0.05), -30.0], shape).ravel()
    upper = np.broadcast_to([math.log(0.45 * rate), math.log(20.0), 30.0], shape).ravel()
    pull = 1e-3 * np.broadcast_to([1.0, 1.0, 0.2], shape).ravel()
    scale_db = 0.01

    def residuals(flat, cubed):
        x = flat.reshape(shape)
        r = np.concatenate([(response_db(kinds, x, rate) - target_points).ravel(),
                            (response_db(kinds, halfway(x), rate) - target_half).ravel()])
        if cubed:
            r = r * (r / scale_db) ** 2
        return np.concatenate([r, pull * (flat - x_ref.ravel())])

    per_point = 3 * n
    sparsity = lil_matrix((m * (2 * k_count - 1) + k_count * per_point, k_count * per_point), dtype=int)
    for k in range(k_count):
        sparsity[k * m:(k + 1) * m, k * per_point:(k + 1) * per_point] = 1
    for k in range(k_count - 1):
        sparsity[(k_count + k) * m:(k_count + k + 1) * m, k * per_point:(k + 2) * per_point] = 1
    for j in range(k_count * per_point):
        sparsity[m * (2 * k_count - 1) + j, j] = 1

    x0 = np.clip(x_ref.ravel(), lower + 1e-9, upper - 1e-9)
    options = dict(bounds=(lower, upper), jac_sparsity=sparsity, xtol=1e-12, ftol=1e-12, gtol=1e-12, max_nfev=400)
    ls = least_squares(residuals, x0, args=(False,), **options)
    mm = least_squares(residuals, ls.x, args=(True,), **options)
    return from_x(mm.x.reshape(shape))


def round_params(params):
    return [[(float("%.9g" % f), float("%.9g" % q), float("%.9g" % g)) for f, q, g in row] for row in params]


def criteria(kinds, reference, fitted, rate):
    """Worst breakpoint error and worst halfway error in dB against the 48 kHz voicing."""
    x_ref, x_fit = to_x(reference), to_x(fitted)
    at_points = np.max(np.abs(response_db(kinds, x_fit, rate) - response_db(kinds, x_ref, 48000.0)))
    halfway_err = np.max(np.abs(response_db(kinds, halfway(x_fit), rate)
                                - response_db(kinds, halfway(x_ref), 48000.0)))
    return at_points, halfway_err


def fmt(v):
    return repr(float(v))


def emit_cpp(voicings):
    out = []
    out.append("// EQ voicing table; generated by tools/fit_eq_voicing.py (do not edit by hand).")
    out.append('#include "dsp/eq_voicing.h"')
    out.append("")
    out.append("namespace plumbrook::dsp {")
    out.append("")
    out.append("namespace {")
    out.append("constexpr EqSectionParams kUnused{1000.0, 0.707, 0.0};")
    out.append("}  // namespace")
    out.append("")
    out.append("// clang-format off")
    out.append("const EqVoicingTable kEqVoicing{")
    out.append("    {" + ", ".join(fmt(r) for r in RATES) + "},")
    for (name, member, types, travel_mid, rng, rows48, _), per_rate in zip(CURVES, voicings):
        points = len(rows48)
        type_list = list(types) + [PEAKING] * (3 - len(types))
        bps = [r[0] for r in rows48] + [0.0] * (MAX_POINTS - points)
        out.append(f"    // {name} curve")
        out.append("    {")
        out.append(f"        {len(types)}, {{{', '.join(str(t) for t in type_list)}}}, {points},")
        out.append("        {" + ", ".join(fmt(b) for b in bps) + "},")
        out.append(f"        {fmt(travel_mid)}, {fmt(rng)},")
        out.append("        {")
        for rate, params in zip(RATES, per_rate):
            out.append(f"            {{  // {rate:g} Hz")
            for row in params:
                cells = ["{%s, %s, %s}" % (fmt(f), fmt(q), fmt(g)) for f, q, g in row]
                cells += ["kUnused"] * (3 - len(row))
                out.append("                {" + ", ".join(cells) + "},")
            for _ in range(MAX_POINTS - points):
                out.append("                {kUnused, kUnused, kUnused},")
            out.append("            },")
        out.append("        },")
        out.append("    },")
    out.append("};")
    out.append("// clang-format on")
    out.append("")
    out.append("}  // namespace plumbrook::dsp")
    return "\n".join(out) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="print the fit figures, write nothing")
    parser.add_argument("--output", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "dsp",
                                                         "eq_voicing.cpp"))
    args = parser.parse_args()

    voicings = []
    print("fit against the 48 kHz voicing, 20 Hz..20 kHz, worst |error| in dB:")
    print("  %-10s %8s %12s %12s" % ("curve", "rate", "breakpoints", "halfway"))
    for name, _, types, _, _, rows48, rows44 in CURVES:
        n = len(types)
        reference = rows_to_params(rows48, n, True)
        per_rate = [rows_to_params(rows44, n, False), reference]
        for rate in FITTED_RATES:
            fitted = round_params(fit_curve(types, reference, rate))
            at_points, halfway_err = criteria(types, reference, fitted, rate)
            print("  %-10s %8g %12.4f %12.4f" % (name, rate, at_points, halfway_err))
            sys.stdout.flush()
            per_rate.append(fitted)
        voicings.append(per_rate)
    if not args.check:
        with open(args.output, "w", encoding="utf-8") as f:
            f.write(emit_cpp(voicings))
        print("wrote", os.path.normpath(args.output))


if __name__ == "__main__":
    main()
