// A host input channel that a module reads as a measurement, a command or a setting: the
// channel number, a name to show it by, its unit and its meaning. Data only; each deliverable
// lists its channels in variants/<deliverable>/host_inputs.h.
#pragma once

#include <array>
#include <cstddef>

namespace svg {

struct HostInput {
    int channel;
    const char* name;
    const char* unit;
    const char* meaning;
};

// Host channels 0..41, the same in both builds: instantaneous phase voltages of PT1..PT4,
// their RMS line voltages, phase currents of CT1..CT3 and of the Hall sensors, the divisors
// of the phase DC balance control and the mean cell DC voltage per phase.
inline constexpr HostInput kMeasurementInputs[] = {
    {0, "U_PT1_a", "V", "PT1 phase a voltage, instantaneous"},
    {1, "U_PT1_b", "V", "PT1 phase b voltage, instantaneous"},
    {2, "U_PT1_c", "V", "PT1 phase c voltage, instantaneous"},
    {3, "U_PT2_a", "V", "PT2 phase a voltage, instantaneous"},
    {4, "U_PT2_b", "V", "PT2 phase b voltage, instantaneous"},
    {5, "U_PT2_c", "V", "PT2 phase c voltage, instantaneous"},
    {6, "U_PT3_a", "V", "PT3 phase a voltage, instantaneous"},
    {7, "U_PT3_b", "V", "PT3 phase b voltage, instantaneous"},
    {8, "U_PT3_c", "V", "PT3 phase c voltage, instantaneous"},
    {9, "U_PT4_a", "V", "PT4 phase a voltage, instantaneous"},
    {10, "U_PT4_b", "V", "PT4 phase b voltage, instantaneous"},
    {11, "U_PT4_c", "V", "PT4 phase c voltage, instantaneous"},
    {12, "Urms_PT1_ab", "V", "PT1 line voltage ab, RMS"},
    {13, "Urms_PT1_bc", "V", "PT1 line voltage bc, RMS"},
    {14, "Urms_PT1_ca", "V", "PT1 line voltage ca, RMS"},
    {15, "Urms_PT2_ab", "V", "PT2 line voltage ab, RMS"},
    {16, "Urms_PT2_bc", "V", "PT2 line voltage bc, RMS"},
    {17, "Urms_PT2_ca", "V", "PT2 line voltage ca, RMS"},
    {18, "Urms_PT3_ab", "V", "PT3 line voltage ab, RMS"},
    {19, "Urms_PT3_bc", "V", "PT3 line voltage bc, RMS"},
    {20, "Urms_PT3_ca", "V", "PT3 line voltage ca, RMS"},
    {21, "Urms_PT4_ab", "V",
     "PT4 line voltage ab, RMS; also the fundamental of the harmonic control and, in the full "
     "build, the input of the over- and undervoltage protection"},
    {22, "Urms_PT4_bc", "V",
     "PT4 line voltage bc, RMS; also the fundamental of the harmonic control and, in the full "
     "build, the input of the over- and undervoltage protection"},
    {23, "Urms_PT4_ca", "V",
     "PT4 line voltage ca, RMS; also the fundamental of the harmonic control and, in the full "
     "build, the input of the over- and undervoltage protection"},
    {24, "I_CT1_a", "A", "CT1 phase a current, instantaneous"},
    {25, "I_CT1_b", "A", "CT1 phase b current, instantaneous"},
    {26, "I_CT1_c", "A", "CT1 phase c current, instantaneous"},
    {27, "I_CT2_a", "A", "CT2 phase a current, instantaneous"},
    {28, "I_CT2_b", "A", "CT2 phase b current, instantaneous"},
    {29, "I_CT2_c", "A", "CT2 phase c current, instantaneous"},
    {30, "I_CT3_a", "A", "CT3 phase a current, instantaneous"},
    {31, "I_CT3_b", "A", "CT3 phase b current, instantaneous"},
    {32, "I_CT3_c", "A", "CT3 phase c current, instantaneous"},
    {33, "I_HALL_a", "A",
     "converter phase a current (Hall sensor), out of the converter; also the numerator of the "
     "phase a DC balance control"},
    {34, "I_HALL_b", "A",
     "converter phase b current (Hall sensor), out of the converter; also the numerator of the "
     "phase b DC balance control"},
    {35, "I_HALL_c", "A",
     "converter phase c current (Hall sensor), out of the converter; also the numerator of the "
     "phase c DC balance control"},
    {36, "Udcbal_div_a", "-", "phase a divisor of the phase DC balance control"},
    {37, "Udcbal_div_b", "-", "phase b divisor of the phase DC balance control"},
    {38, "Udcbal_div_c", "-", "phase c divisor of the phase DC balance control"},
    {39, "Udc_a", "V",
     "mean cell DC voltage, phase A; in the full build also the input of the DC voltage "
     "protection"},
    {40, "Udc_b", "V",
     "mean cell DC voltage, phase B; in the full build also the input of the DC voltage "
     "protection"},
    {41, "Udc_c", "V",
     "mean cell DC voltage, phase C; in the full build also the input of the DC voltage "
     "protection"},
};

// The rows of `a` followed by those of `b`.
template <std::size_t N, std::size_t M>
constexpr std::array<HostInput, N + M> JoinHostInputs(const HostInput (&a)[N],
                                                      const HostInput (&b)[M]) {
    std::array<HostInput, N + M> rows{};
    for (std::size_t i = 0; i < N; ++i) {
        rows[i] = a[i];
    }
    for (std::size_t i = 0; i < M; ++i) {
        rows[N + i] = b[i];
    }
    return rows;
}

}  // namespace svg
