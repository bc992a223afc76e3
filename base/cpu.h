#ifndef BASE_CPU_H_
#define BASE_CPU_H_

#include <string>

namespace base {

// The processor's identity and features, read with CPUID when constructed.
class CpuInfo {
 public:
  CpuInfo();

  // "GenuineIntel", "AuthenticAMD", ...
  const std::string& vendor_name() const { return vendor_name_; }
  // The display family and model: the extended fields included as the vendors document.
  int family() const { return family_; }
  int model() const { return model_; }
  int stepping() const { return stepping_; }

  bool has_mmx() const { return has_mmx_; }
  bool has_sse() const { return has_sse_; }
  bool has_sse2() const { return has_sse2_; }
  bool has_sse3() const { return has_sse3_; }
  bool has_ssse3() const { return has_ssse3_; }
  bool has_sse41() const { return has_sse41_; }
  bool has_sse42() const { return has_sse42_; }
  bool has_popcnt() const { return has_popcnt_; }
  // The time-stamp counter runs at a constant rate in every power state.
  bool has_non_stop_time_stamp_counter() const { return has_non_stop_time_stamp_counter_; }

 private:
  std::string vendor_name_;
  int family_ = 0;
  int model_ = 0;
  int stepping_ = 0;
  bool has_mmx_ = false;
  bool has_sse_ = false;
  bool has_sse2_ = false;
  bool has_sse3_ = false;
  bool has_ssse3_ = false;
  bool has_sse41_ = false;
  bool has_sse42_ = false;
  bool has_popcnt_ = false;
  bool has_non_stop_time_stamp_counter_ = false;
};

// Whether the performance counter can be trusted as a high-resolution clock: the processor
// has a non-stop time-stamp counter and is not an AMD family 15 part (whose counters drift
// between cores). Computed once.
bool IsPerformanceCounterReliable();

// The frequency of the time-stamp counter, measured against the performance counter over
// the time since the first call; 0 until at least 50 ms have passed since then. The first
// measurement after that is kept.
double TscTicksPerSecond();

}  // namespace base

#endif  // BASE_CPU_H_
