// Throughput of the AES module on each of its paths against OpenSSL's EVP
// interface, ending with a table of the ratios module / OpenSSL.
//
//   aes_bench
//       OpenSSL with its AES instructions: read the hardware ratios.
//   OPENSSL_ia32cap="~0x200000200000000" aes_bench
//       OpenSSL with AES-NI and PCLMULQDQ masked off: read the portable ratios.
//
// The module's ECB is driven block by block over the buffer, as its interface
// offers; OpenSSL gets the whole buffer in one EVP call with padding off.
#include "crypto/aes.h"
#include "crypto/aes_path.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

enum class Op { ecbForward, cbcForward, cbcInverse, ctr };

constexpr Op kOps[] = {Op::ecbForward, Op::cbcForward, Op::cbcInverse, Op::ctr};
constexpr std::size_t kSizes[] = {16, 6944, 1 << 20};
constexpr double kMinTime = 0.15;

const char* opName(Op op) {
    switch (op) {
    case Op::ecbForward: return "ecb-forward";
    case Op::cbcForward: return "cbc-forward";
    case Op::cbcInverse: return "cbc-inverse";
    case Op::ctr: return "ctr";
    }
    return "?";
}

const std::uint8_t kKey[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                               0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
const std::uint8_t kIv[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

std::string benchName(Op op, std::size_t size, const char* impl) {
    return std::string(opName(op)) + "/" + std::to_string(size) + "/" + impl;
}

void moduleThroughput(benchmark::State& state, AesPath path, Op op, std::size_t size) {
    aesForcePath(path);
    std::vector<std::uint8_t> buf(size, 0x5a);
    AES_ctx ctx;
    AES_init_ctx_iv(&ctx, kKey, kIv);
    const auto length = static_cast<std::uint32_t>(size);
    for (auto _ : state) {
        switch (op) {
        case Op::ecbForward:
            for (std::size_t offset = 0; offset < size; offset += 16)
                AES_ECB_encrypt(&ctx, buf.data() + offset);
            break;
        case Op::cbcForward: AES_CBC_enc_buffer(&ctx, buf.data(), length); break;
        case Op::cbcInverse: AES_CBC_decrypt_buffer(&ctx, buf.data(), length); break;
        case Op::ctr: AES_CTR_xcrypt_buffer(&ctx, buf.data(), length); break;
        }
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void opensslThroughput(benchmark::State& state, Op op, std::size_t size) {
    const EVP_CIPHER* cipher = op == Op::ecbForward ? EVP_aes_128_ecb()
                               : op == Op::ctr      ? EVP_aes_128_ctr()
                                                    : EVP_aes_128_cbc();
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> ctx(EVP_CIPHER_CTX_new(),
                                                                   EVP_CIPHER_CTX_free);
    if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, kKey, kIv, op == Op::cbcInverse ? 0 : 1) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1) {
        state.SkipWithError("OpenSSL set-up failed");
        return;
    }
    std::vector<std::uint8_t> buf(size, 0x5a);
    int written = 0;
    for (auto _ : state) {
        if (EVP_CipherUpdate(ctx.get(), buf.data(), &written, buf.data(), static_cast<int>(size)) != 1) {
            state.SkipWithError("OpenSSL update failed");
            break;
        }
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// Prints each run as usual and keeps its throughput for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (!run.error_occurred && rate != run.counters.end()) {
                rates_[run.run_name.function_name] = rate->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    double rate(const std::string& name) const {
        const auto found = rates_.find(name);
        return found == rates_.end() ? 0.0 : found->second;
    }

private:
    std::map<std::string, double> rates_;
};

void printCell(double megabytes) {
    if (megabytes > 0) {
        std::printf(" %10.1f", megabytes);
    } else {
        std::printf(" %10s", "-");
    }
}

void printRatio(double module, double openssl) {
    if (module > 0 && openssl > 0) {
        std::printf(" %9.2fx", module / openssl);
    } else {
        std::printf(" %10s", "-");
    }
}

void printRatios(const RatioReporter& reporter) {
    const char* mask = std::getenv("OPENSSL_ia32cap");
    std::printf("\nAES-128 throughput in MB/s (10^6 bytes/s); OpenSSL %s%s\n",
                mask ? "with OPENSSL_ia32cap=" : "with its default instruction set", mask ? mask : "");
    std::printf("%-12s %8s %10s %10s %10s %10s %10s\n", "operation", "bytes", "hardware",
                "portable", "OpenSSL", "hw/OSSL", "port/OSSL");
    for (Op op : kOps) {
        for (std::size_t size : kSizes) {
            const double hardware = reporter.rate(benchName(op, size, "hardware")) / 1e6;
            const double portable = reporter.rate(benchName(op, size, "portable")) / 1e6;
            const double openssl = reporter.rate(benchName(op, size, "openssl")) / 1e6;
            std::printf("%-12s %8zu", opName(op), size);
            printCell(hardware);
            printCell(portable);
            printCell(openssl);
            printRatio(hardware, openssl);
            printRatio(portable, openssl);
            std::printf("\n");
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    for (Op op : kOps) {
        for (std::size_t size : kSizes) {
            if (aesHardwareAvailable()) {
                benchmark::RegisterBenchmark(benchName(op, size, "hardware").c_str(),
                                             moduleThroughput, AesPath::hardware, op, size)
                    ->MinTime(kMinTime);
            }
            benchmark::RegisterBenchmark(benchName(op, size, "portable").c_str(), moduleThroughput,
                                         AesPath::portable, op, size)
                ->MinTime(kMinTime);
            benchmark::RegisterBenchmark(benchName(op, size, "openssl").c_str(), opensslThroughput,
                                         op, size)
                ->MinTime(kMinTime);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatios(reporter);
    benchmark::Shutdown();
    return 0;
}
