#!/usr/bin/python3
"""Designs the fixed low-pass filters of the rate conversion and the speed change and
writes them as a C++ table:

    /usr/bin/python3 scripts/design_filters.py > dsp/FilterTables.cpp

(Debian's python3-scipy.) The table is committed, so building the program needs neither
Python nor SciPy; rerun this only to change a filter, and keep the report it prints on
standard error with the change.

Every filter is symmetric (linear phase) and found by linear programming over the
amplitude response A(f) = a0 + 2 sum a_k cos(2 pi f k), a_k being the tap k places from
the centre, on a dense frequency grid (f is a fraction of the rate the filter runs at):

  - the DC gain is exactly 1;
  - the centre tap, its neighbour (where known) and the end taps keep the values of the
    filters the program has always used, so that converted files stay as they were;
  - the response passes exactly through the stated -0.1 dB and -6 dB points;
  - between the flat part of the passband and the first stopband the response falls
    monotonically and never rises above the passband;
  - the largest deviation, relative to each band's tolerance, is minimised over the
    "soft" bands, while the "hard" bands are limits that must hold.

The three rate-conversion filters have hard stopbands at the levels their response must
reach and minimise the passband ripple up to 90 % of the passband edge. The four speed
change filters (31 taps only) trade passband ripple (tolerance 0.5 dB, up to half the
-6 dB frequency) against the stopband (tolerance -40 dB, from twice the -6 dB frequency).
"""

import sys

import numpy as np
from scipy.optimize import linprog


def db(level):
    return 10.0 ** (level / 20.0)


class Band:
    def __init__(self, lo, hi, desired, tolerance, soft):
        self.lo, self.hi, self.desired, self.tolerance, self.soft = lo, hi, desired, tolerance, soft


class FilterPlan:
    def __init__(self, name, comment, taps, pins, points, bands, extra=()):
        self.name = name
        self.comment = comment
        self.taps = taps      # odd tap count
        self.pins = pins      # {places from the centre: tap value}
        self.points = points  # [(frequency, amplitude)] passed exactly
        self.bands = bands    # passband first, then the stopbands
        self.extra = extra    # [(frequency, low dB, high dB)] limits inside the transition band


def design(plan):
    m = (plan.taps - 1) // 2
    k = np.arange(m + 1)
    grid = np.linspace(0.0, 0.5, 40 * plan.taps + 1)

    def rows(f):
        r = 2.0 * np.cos(2.0 * np.pi * np.outer(np.atleast_1d(f), k))
        r[:, 0] = 1.0
        return r

    nvar = m + 2  # a_0 .. a_m, then the deviation scale delta
    a_ub, b_ub = [], []

    def bound(r, upper, delta_coeff=0.0):
        a_ub.append(np.hstack([r, np.full((r.shape[0], 1), delta_coeff)]))
        b_ub.append(np.full(r.shape[0], upper))

    for band in plan.bands:
        f = grid[(grid >= band.lo) & (grid <= band.hi)]
        scale = -band.tolerance if band.soft else 0.0
        slack = 0.0 if band.soft else band.tolerance
        bound(rows(f), band.desired + slack, scale)
        bound(-rows(f), -band.desired + slack, scale)
    passband, first_stop = plan.bands[0], plan.bands[1]
    ft = grid[(grid > passband.hi) & (grid < first_stop.lo)]
    bound(rows(ft), 1.0, -passband.tolerance if passband.soft else 0.0)
    bound(-4.0 * np.pi * k * np.sin(2.0 * np.pi * np.outer(ft, k)), 0.0)  # A'(f) <= 0
    for f, lo, hi in plan.extra:
        bound(rows(f), db(hi))
        bound(-rows(f), -db(lo))

    a_eq, b_eq = [], []
    for offset, value in plan.pins.items():
        r = np.zeros(nvar)
        r[offset] = 1.0
        a_eq.append(r)
        b_eq.append(value)
    for f, amplitude in [(0.0, 1.0)] + list(plan.points):
        r = np.zeros(nvar)
        r[: m + 1] = rows(f)[0]
        a_eq.append(r)
        b_eq.append(amplitude)

    cost = np.zeros(nvar)
    cost[-1] = 1.0
    res = linprog(cost, A_ub=np.vstack(a_ub), b_ub=np.concatenate(b_ub), A_eq=np.array(a_eq),
                  b_eq=np.array(b_eq), bounds=[(None, None)] * nvar, method="highs",
                  options={"primal_feasibility_tolerance": 1e-10, "dual_feasibility_tolerance": 1e-10})
    if res.status != 0:
        sys.exit(f"{plan.name}: {res.message}")
    a = res.x[: m + 1].copy()
    # The solver meets the equalities only to its tolerance: restore the reference taps
    # exactly and put the tiny DC remainder on the tap two places from the centre.
    for offset, value in plan.pins.items():
        a[offset] = value
    a[2] += (1.0 - (a[0] + 2.0 * a[1:].sum())) / 2.0
    return np.concatenate([a[::-1], a[1:]])


def response_db(taps, f):
    n = np.arange(len(taps))
    h = np.exp(-2j * np.pi * np.outer(np.atleast_1d(f), n)) @ taps
    return 20.0 * np.log10(np.abs(h) + 1e-300)


def rate_filter(name, comment, taps, pins, edge, six, stops, extra=()):
    bands = [Band(0.0, 0.9 * edge, 1.0, 1.0, True)]
    # 0.05 dB in hand, so that the limits hold between the grid points too
    bands += [Band(lo, hi, 0.0, db(level - 0.05), False) for lo, hi, level in stops]
    return FilterPlan(name, comment, taps, pins, [(edge, db(-0.1)), (six, db(-6.0))], bands, extra)


def speed_filter(name, comment, pins, six):
    bands = [Band(0.0, six / 2.0, 1.0, db(0.5) - 1.0, True), Band(2.0 * six, 0.5, 0.0, db(-40.0), True)]
    return FilterPlan(name, comment, 31, pins, [(six, db(-6.0))], bands)


PLANS = [
    rate_filter("kDecimationTaps",
                "Halving 176.4/192 kHz, at the input rate: -0.1 dB at 0.168, -6 dB at 0.187,\n"
                "// -60 dB from 0.239, -72 dB from 0.27 (119 taps).",
                119, {0: 0.37560437066577124, 1: 0.29375141238809666, 59: -0.00015626862824802182},
                0.168, 0.187, [(0.239, 0.27, -60.0), (0.27, 0.5, -72.0)],
                # 40 kHz in 192 kHz material is 29 dB down after the round trip
                [(40.0 / 192.0, -29.5, -28.5)]),
    rate_filter("kInterpolationTaps",
                "Doubling 88.2/96 kHz back, at the output rate: -0.1 dB at 0.244, -6 dB at\n"
                "// 0.2655, -41 dB from 0.30, -77 dB from 0.40 (119 taps; a zero 120th completes the\n"
                "// two phases).",
                119, {0: 0.5322424652143581, 1: 0.3158998073002625, 59: 1.868860917660169e-05},
                0.244, 0.2655, [(0.30, 0.40, -41.0), (0.40, 0.5, -77.0)]),
    rate_filter("kHiResTaps",
                "Doubling 44.1/48 kHz, at the output rate: -0.1 dB at 0.187, -6 dB at 0.2045,\n"
                "// -60 dB from 0.225, -71 dB from 0.2265 (20 kHz at 88.2 kHz) (253 taps; a zero\n"
                "// 254th completes the two phases).",
                253, {0: 0.4089895452724446, 1: 0.30491207029288486, 126: -1.599162416729831e-05},
                0.187, 0.2045, [(0.225, 0.2265, -60.0), (0.2265, 0.5, -71.0)]),
    speed_filter("kWindUpTaps441Quarter",
                 "Speed change by 3/4 at 44.1/48 kHz, at the tripled rate: -6 dB at 0.120.",
                 {0: 0.2426707495973281, 15: -0.012812695225711023}, 0.120),
    speed_filter("kWindUpTaps441",
                 "Speed change by 3/6, 3/7, 3/8 at 44.1/48 kHz, at the tripled rate: -6 dB at 0.0635.",
                 {0: 0.13820557541815492, 15: -0.008953345114526199}, 0.0635),
    speed_filter("kWindUpTaps882Quarter",
                 "Speed change by 3/4 at 88.2/96 kHz, at the tripled rate: -6 dB at 0.0565.",
                 {0: 0.11544241107489024, 15: -0.016687982247368675}, 0.0565),
    speed_filter("kWindUpTaps882",
                 "Speed change by 3/6, 3/7, 3/8 at 88.2/96 kHz, at the tripled rate: -6 dB at 0.0275.",
                 {0: 0.05307046939271317, 15: 0.0035054094338314067}, 0.0275),
]


def main():
    designed = []
    f = np.linspace(0.0, 0.5, 50001)
    for plan in PLANS:
        taps = design(plan)
        level = response_db(taps, f)
        flat = level[f <= plan.bands[0].hi]
        parts = [f"{plan.name}: DC {taps.sum():.17g}, passband {flat.min():+.4f}..{flat.max():+.4f} dB "
                 f"up to {plan.bands[0].hi:.4g}"]
        for point, amplitude in plan.points:
            parts.append(f"{20 * np.log10(amplitude):.1f} dB wanted at {point:g}, "
                         f"{response_db(taps, point)[0]:.4f} dB there")
        for band in plan.bands[1:]:
            parts.append(f"at most {level[f >= band.lo].max():.1f} dB from {band.lo:.4g}")
        print("; ".join(parts), file=sys.stderr)
        designed.append((plan, taps))

    print("// Generated by scripts/design_filters.py; change the script, not this file.")
    print('#include "dsp/FilterTables.h"')
    print()
    print("namespace quiramo::dsp {")
    print()
    print("// clang-format off")
    for plan, taps in designed:
        print()
        print(f"// {plan.comment}")
        print(f"const std::array<double, {len(taps)}> {plan.name} = {{")
        for i in range(0, len(taps), 3):
            print("    " + " ".join(f"{float(t)!r}," for t in taps[i:i + 3]))
        print("};")
    print()
    print("// clang-format on")
    print()
    print("}  // namespace quiramo::dsp")


if __name__ == "__main__":
    main()
