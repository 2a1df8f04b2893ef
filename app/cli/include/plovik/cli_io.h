// Where plovik-report writes and reads: the process's C streams in the program, C++
// streams in tests. The program uses no iostreams: setting them up (their locale) costs
// more than analysing a small file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace plovik {

class CliOutput {
  public:
    virtual ~CliOutput() = default;
    virtual void Write(std::string_view bytes) = 0;
    // Hands on what was written; false once writing has failed.
    virtual bool Flush() = 0;
    // False once writing has failed.
    virtual bool Good() const = 0;

    CliOutput& operator<<(std::string_view bytes) {
        Write(bytes);
        return *this;
    }
    CliOutput& operator<<(char c) {
        Write(std::string_view(&c, 1));
        return *this;
    }
};

class CliInput {
  public:
    virtual ~CliInput() = default;
    // Reads everything up to the end; false on a read error.
    virtual bool ReadAll(std::string& bytes) = 0;
};

// A stream to a regular file under a file-size limit (RLIMIT_FSIZE, POSIX) takes a write only
// when it ends within the limit: one that would pass it is refused whole and the stream
// fails, so that the file ends with the last write it took, whole.
class StdioOutput final : public CliOutput {
  public:
    explicit StdioOutput(std::FILE* stream);
    void Write(std::string_view bytes) override;
    bool Flush() override;
    bool Good() const override;

  private:
    bool EndsWithinLimit(std::size_t n);

    std::FILE* m_stream;
    std::optional<std::uint64_t> m_sizeLimit;  // none without a limit or for other files
    bool m_refused = false;
};

class StdioInput final : public CliInput {
  public:
    explicit StdioInput(std::FILE* stream) : m_stream(stream) {}
    bool ReadAll(std::string& bytes) override;

  private:
    std::FILE* m_stream;
};

class StreamOutput final : public CliOutput {
  public:
    explicit StreamOutput(std::ostream& stream) : m_stream(stream) {}
    void Write(std::string_view bytes) override;
    bool Flush() override;
    bool Good() const override;

  private:
    std::ostream& m_stream;
};

class StreamInput final : public CliInput {
  public:
    explicit StreamInput(std::istream& stream) : m_stream(stream) {}
    bool ReadAll(std::string& bytes) override;

  private:
    std::istream& m_stream;
};

}  // namespace plovik
