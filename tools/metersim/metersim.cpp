// A Modbus RTU meter line: one process answers for several slave addresses
// on one serial device, each slave with its own holding and input registers and, for
// tests, its own way of misbehaving. The same meters can also stand behind
// an Ethernet gateway: a Modbus TCP server, or a server that passes RTU
// frames through a TCP connection as serial servers in raw mode do.
//
// libmodbus serves one slave address per context, so the requests are framed
// here and each one is answered with modbus_reply() against the addressed
// slave's register map; replies that must be wrong on purpose are built by
// hand.

#include <modbus.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr int RegisterCount = 0x100; // addresses 0x0000 to 0x00FF answer
constexpr int DefaultLateMs = 300;
// A partial request that sees no further byte for this long is dropped, as
// a real slave drops a frame after the line has gone quiet.
constexpr auto FrameGap = std::chrono::milliseconds(50);

volatile std::sig_atomic_t g_stop = 0;

void onStopSignal(int)
{
    g_stop = 1;
}

enum class Fault { None, Silent, Exception, BadCrc, Late, Short, Garbage, OtherSlave, Split };
constexpr int DefaultSplitMs = 50;

struct Slave
{
    int id = 0;
    modbus_mapping_t *map = nullptr;
    Fault fault = Fault::None;
    int faultArg = 0;
    bool demo = false;
};

// A reply waiting for its time: either bytes of our own or, when `bytes`
// is empty, libmodbus's reply to `request`.
struct PendingReply
{
    Clock::time_point due;
    int slave;
    Bytes request;
    Bytes bytes;
};

enum class Transport { Serial, ModbusTcp, RtuOverTcp };

struct Options
{
    Transport transport = Transport::Serial;
    std::string device;
    std::string listenHost = "127.0.0.1";
    std::string listenPort; // 0: any free port, named in the ready line
    int baud = 9600;
    char parity = 'N';
    bool verbose = false;
    // Replies held back for their time on the wire, as a real line paces
    // them; socat hands every byte over at once.
    bool paced = false;
    double turnaroundMs = -1; // the meter's pause before replying; -1: 3.5 characters
};

// Time of `characters` on the line: start bit, 8 data bits, parity bit if
// any, one stop bit.
std::chrono::nanoseconds wireTime(const Options &o, size_t characters)
{
    const long long bits = 10 + (o.parity == 'N' ? 0 : 1);
    return std::chrono::nanoseconds(static_cast<long long>(characters) * bits * 1000000000LL /
                                    o.baud);
}

std::chrono::nanoseconds turnaround(const Options &o)
{
    if (o.turnaroundMs >= 0)
        return std::chrono::nanoseconds(static_cast<long long>(o.turnaroundMs * 1e6));
    return wireTime(o, 7) / 2; // 3.5 characters
}

uint16_t crc16(const uint8_t *bytes, size_t n)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

void appendCrc(Bytes &frame)
{
    const uint16_t crc = crc16(frame.data(), frame.size());
    frame.push_back(uint8_t(crc & 0xFF));
    frame.push_back(uint8_t(crc >> 8));
}

std::string hex(const uint8_t *bytes, size_t n)
{
    std::string out;
    char cell[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(cell, sizeof cell, i ? " %02X" : "%02X", bytes[i]);
        out += cell;
    }
    return out;
}

// Length of the request that starts the buffer, from its function code;
// 0 while too few bytes have arrived to tell.
size_t requestLength(const Bytes &buf)
{
    if (buf.size() < 2)
        return 0;
    switch (buf[1]) {
    case MODBUS_FC_WRITE_MULTIPLE_COILS:
    case MODBUS_FC_WRITE_MULTIPLE_REGISTERS:
        return buf.size() < 7 ? 0 : 9 + size_t(buf[6]);
    default:
        // Reads, single writes and anything unknown: address, function,
        // four bytes, CRC.
        return 8;
    }
}

class Line
{
public:
    Line(const Options &options, std::map<int, Slave> &slaves)
        : m_options(options), m_slaves(slaves)
    {
    }
    ~Line()
    {
        if (network()) {
            dropClient();
            if (m_listenFd >= 0)
                ::close(m_listenFd);
        }
        if (m_ctx) {
            modbus_close(m_ctx);
            modbus_free(m_ctx);
        }
    }

    bool network() const { return m_options.transport != Transport::Serial; }

    bool open()
    {
        if (network())
            return listen();
        m_ctx = modbus_new_rtu(m_options.device.c_str(), m_options.baud, m_options.parity, 8, 1);
        if (!m_ctx) {
            std::fprintf(stderr, "metersim: %s\n", modbus_strerror(errno));
            return false;
        }
        // A request with an impossible count makes libmodbus wait this long
        // before it answers; keep the line responsive.
        modbus_set_response_timeout(m_ctx, 0, 1000);
        if (modbus_connect(m_ctx) == -1) {
            std::fprintf(stderr, "metersim: cannot open %s: %s\n", m_options.device.c_str(),
                         modbus_strerror(errno));
            return false;
        }
        m_fd = modbus_get_socket(m_ctx);
        return m_fd >= 0;
    }

    int fd() const { return m_fd; }
    int listenFd() const { return m_listenFd; }

    // "tcp://127.0.0.1:1502" or the device.
    std::string where() const
    {
        if (!network())
            return m_options.device;
        const bool v6 = m_options.listenHost.find(':') != std::string::npos;
        return std::string(m_options.transport == Transport::ModbusTcp ? "tcp://" : "rtu+tcp://") +
               (v6 ? "[" + m_options.listenHost + "]" : m_options.listenHost) + ":" +
               std::to_string(m_boundPort);
    }

    // A gateway serves one master at a time: a new connection replaces the
    // one before.
    void acceptClient()
    {
        const int s = ::accept(m_listenFd, nullptr, nullptr);
        if (s < 0)
            return;
        dropClient();
        m_fd = s;
        const int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (m_options.verbose)
            std::fprintf(stderr, "metersim: master connected\n");
    }

    void dropClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_buffer.clear();
        m_pending.clear();
    }

    // Reads what the line has; false when the device has gone.
    bool readLine()
    {
        uint8_t chunk[512];
        const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
        if (n > 0) {
            m_buffer.insert(m_buffer.end(), chunk, chunk + n);
            m_lastByte = Clock::now();
            takeRequests();
            return true;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return true;
        return false;
    }

    void dropStalePartial(Clock::time_point now)
    {
        // A Modbus TCP stream is framed by its headers, not by pauses.
        if (m_options.transport == Transport::ModbusTcp)
            return;
        if (!m_buffer.empty() && now - m_lastByte >= FrameGap) {
            if (m_options.verbose)
                std::fprintf(stderr, "metersim: dropped %s\n",
                             hex(m_buffer.data(), m_buffer.size()).c_str());
            m_buffer.clear();
        }
    }

    Clock::time_point nextDeadline(Clock::time_point fallback) const
    {
        Clock::time_point next = fallback;
        for (const PendingReply &p : m_pending)
            next = std::min(next, p.due);
        if (!m_buffer.empty() && m_options.transport != Transport::ModbusTcp)
            next = std::min(next, m_lastByte + FrameGap);
        return next;
    }

    void sendDueReplies(Clock::time_point now)
    {
        // In order of queueing, so that the two parts of a split reply keep
        // theirs.
        for (auto it = m_pending.begin(); it != m_pending.end();) {
            if (it->due <= now) {
                const auto slave = m_slaves.find(it->slave);
                if (!it->bytes.empty())
                    write(it->bytes);
                else if (slave != m_slaves.end())
                    modbus_reply(m_ctx, it->request.data(), int(it->request.size()),
                                 slave->second.map);
                it = m_pending.erase(it);
            } else {
                ++it;
            }
        }
    }

private:
    bool listen()
    {
        // The context only opens the listening socket; requests are framed
        // and answered here, as on the serial line.
        m_ctx = modbus_new_tcp_pi(m_options.listenHost.c_str(), m_options.listenPort.c_str());
        if (!m_ctx) {
            std::fprintf(stderr, "metersim: %s\n", modbus_strerror(errno));
            return false;
        }
        m_listenFd = modbus_tcp_pi_listen(m_ctx, 1);
        if (m_listenFd < 0) {
            std::fprintf(stderr, "metersim: cannot listen on %s port %s: %s\n",
                         m_options.listenHost.c_str(), m_options.listenPort.c_str(),
                         modbus_strerror(errno));
            return false;
        }
        sockaddr_storage bound{};
        socklen_t size = sizeof bound;
        if (::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&bound), &size) == 0) {
            if (bound.ss_family == AF_INET6)
                m_boundPort = ntohs(reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port);
            else
                m_boundPort = ntohs(reinterpret_cast<sockaddr_in *>(&bound)->sin_port);
        }
        return true;
    }

    // Modbus TCP requests become RTU frames for answer(); the transaction
    // identifier goes back with the reply.
    void takeTcpRequests()
    {
        while (m_buffer.size() >= 7) {
            const int protocol = m_buffer[2] * 256 + m_buffer[3];
            const size_t length = size_t(m_buffer[4] * 256 + m_buffer[5]);
            if (protocol != 0 || length < 2 || length > 254) {
                if (m_options.verbose)
                    std::fprintf(stderr, "metersim: not Modbus TCP, dropped %s\n",
                                 hex(m_buffer.data(), m_buffer.size()).c_str());
                m_buffer.clear();
                return;
            }
            if (m_buffer.size() < 6 + length)
                return;
            m_transaction = uint16_t(m_buffer[0] * 256 + m_buffer[1]);
            Bytes request(m_buffer.begin() + 6, m_buffer.begin() + 6 + long(length));
            m_buffer.erase(m_buffer.begin(), m_buffer.begin() + 6 + long(length));
            appendCrc(request);
            answer(request);
        }
    }

    // An RTU reply as it goes on the wire: unchanged, or for Modbus TCP
    // with the request's transaction identifier and without the CRC.
    Bytes framed(const Bytes &rtu) const
    {
        if (m_options.transport != Transport::ModbusTcp)
            return rtu;
        const size_t length = rtu.size() - 2;
        Bytes out{uint8_t(m_transaction >> 8), uint8_t(m_transaction & 0xFF), 0, 0,
                  uint8_t(length >> 8), uint8_t(length & 0xFF)};
        out.insert(out.end(), rtu.begin(), rtu.end() - 2);
        return out;
    }

    // What libmodbus answers on the serial line to a request this
    // simulator does not serve: an exception.
    static Bytes refusal(const Bytes &request)
    {
        const int function = request[1];
        const int address = request[2] * 256 + request[3];
        const int count = request[4] * 256 + request[5];
        uint8_t code = MODBUS_EXCEPTION_ILLEGAL_FUNCTION;
        if (function == MODBUS_FC_READ_HOLDING_REGISTERS)
            code = count < 1 || count > MODBUS_MAX_READ_REGISTERS
                       ? MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE
                       : MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS;
        (void)address;
        Bytes frame{request[0], uint8_t(function | 0x80), code};
        appendCrc(frame);
        return frame;
    }

    void takeRequests()
    {
        if (m_options.transport == Transport::ModbusTcp) {
            takeTcpRequests();
            return;
        }
        for (;;) {
            const size_t length = requestLength(m_buffer);
            if (length == 0 || m_buffer.size() < length)
                return;
            const uint16_t crc = crc16(m_buffer.data(), length - 2);
            if (m_buffer[length - 2] == (crc & 0xFF) && m_buffer[length - 1] == (crc >> 8)) {
                const Bytes request(m_buffer.begin(), m_buffer.begin() + long(length));
                m_buffer.erase(m_buffer.begin(), m_buffer.begin() + long(length));
                answer(request);
            } else {
                // Noise before a frame: slide on by one byte until a frame fits.
                m_buffer.erase(m_buffer.begin());
            }
        }
    }

    // The normal reply to a register read, or nothing when the request is
    // not one that the slave can answer with data.
    Bytes registerReply(const Slave &slave, const Bytes &request) const
    {
        const int function = request[1];
        if (function != MODBUS_FC_READ_HOLDING_REGISTERS && function != MODBUS_FC_READ_INPUT_REGISTERS)
            return {};
        const uint16_t *registers = function == MODBUS_FC_READ_HOLDING_REGISTERS
                                        ? slave.map->tab_registers
                                        : slave.map->tab_input_registers;
        const int address = request[2] * 256 + request[3];
        const int count = request[4] * 256 + request[5];
        if (count < 1 || count > MODBUS_MAX_READ_REGISTERS || address + count > RegisterCount)
            return {};
        Bytes reply{uint8_t(slave.id), uint8_t(function), uint8_t(2 * count)};
        for (int i = address; i < address + count; ++i) {
            reply.push_back(uint8_t(registers[i] >> 8));
            reply.push_back(uint8_t(registers[i] & 0xFF));
        }
        appendCrc(reply);
        return reply;
    }

    void write(const Bytes &bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += size_t(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p{m_fd, POLLOUT, 0};
                ::poll(&p, 1, 100);
            } else {
                return;
            }
        }
    }

    // Sends `reply` (libmodbus's reply to the request when empty) now or,
    // paced, once its bytes and the request's would have crossed the wire;
    // `extra` more on top. Returns when it goes out.
    Clock::time_point reply(int slave, const Bytes &request, const Bytes &reply,
                            Clock::duration extra, size_t replyLength)
    {
        Clock::duration delay = extra;
        if (m_options.paced)
            delay += wireTime(m_options, request.size() + replyLength) + turnaround(m_options);
        const Clock::time_point now = Clock::now();
        if (delay <= Clock::duration::zero()) {
            if (reply.empty())
                modbus_reply(m_ctx, request.data(), int(request.size()), m_slaves.at(slave).map);
            else
                write(reply);
            return now;
        }
        m_pending.push_back({now + delay, slave, request, reply});
        return now + delay;
    }

    void answer(const Bytes &request)
    {
        const int id = request[0];
        const auto found = m_slaves.find(id);
        if (m_options.verbose)
            std::fprintf(stderr, "metersim: <- %s\n", hex(request.data(), request.size()).c_str());
        // Address 0 is a broadcast, which no slave answers; unknown
        // addresses are meters that are not on the line.
        if (id == 0 || found == m_slaves.end())
            return;
        Slave &slave = found->second;
        if (slave.fault == Fault::Silent)
            return;
        if (slave.fault == Fault::Exception) {
            Bytes frame{uint8_t(id), uint8_t(request[1] | 0x80), uint8_t(slave.faultArg)};
            appendCrc(frame);
            frame = framed(frame);
            reply(id, request, frame, {}, frame.size());
            return;
        }
        Bytes frame = registerReply(slave, request);
        // What libmodbus answers to a request this simulator does not build
        // by hand is an exception reply, five bytes.
        const size_t libmodbusLength = 5;
        const std::chrono::milliseconds late(slave.fault == Fault::Late ? slave.faultArg : 0);
        if (frame.empty()) {
            if (!network()) {
                reply(id, request, {}, late, libmodbusLength);
                return;
            }
            frame = refusal(request);
        }
        if (slave.fault == Fault::OtherSlave) {
            frame.resize(frame.size() - 2);
            frame[0] = uint8_t(slave.faultArg);
            appendCrc(frame);
        }
        frame = framed(frame);
        switch (slave.fault) {
        case Fault::BadCrc:
            // Modbus TCP has no CRC: its broken frame is a header that is
            // not Modbus.
            if (m_options.transport == Transport::ModbusTcp)
                frame[2] ^= 0xFF;
            else
                frame.back() ^= 0xFF;
            break;
        case Fault::Short:
            // The last data byte and the CRC never arrive.
            frame.resize(frame.size() - 3);
            break;
        case Fault::Garbage: {
            const Bytes noise{0xFF, 0x00, 0x55};
            frame.insert(frame.begin(), noise.begin(), noise.end());
            break;
        }
        case Fault::Split: {
            // Two parts with a pause between them, as a slow or busy
            // converter may deliver them.
            const size_t half = frame.size() / 2;
            const Bytes first(frame.begin(), frame.begin() + long(half));
            const Bytes second(frame.begin() + long(half), frame.end());
            const Clock::time_point sent = reply(id, request, first, {}, frame.size());
            m_pending.push_back(
                {sent + std::chrono::milliseconds(slave.faultArg), id, request, second});
            return;
        }
        default:
            break;
        }
        reply(id, request, frame, late, frame.size());
    }

    const Options &m_options;
    std::map<int, Slave> &m_slaves;
    modbus_t *m_ctx = nullptr;
    int m_fd = -1;
    int m_listenFd = -1;
    int m_boundPort = 0;
    uint16_t m_transaction = 0; // of the Modbus TCP request being answered
    Bytes m_buffer;
    Clock::time_point m_lastByte;
    std::vector<PendingReply> m_pending;
};

// A value of TYPE (int16 ... float64) in ORDER (ABCD big-endian, CDAB words
// swapped, BADC bytes swapped in each word, DCBA) at `address`; the value is
// taken as a double for floats and as an integer otherwise. False for an
// unknown type or order, or a register past the last.
bool putTyped(uint16_t *registers, long long address, const std::string &type, double value,
              const std::string &order, long long integer = 0, bool useInteger = false)
{
    static const std::map<std::string, int> widths{{"int16", 1},   {"uint16", 1},  {"int32", 2},
                                                   {"uint32", 2},  {"int64", 4},   {"uint64", 4},
                                                   {"float32", 2}, {"float64", 4}};
    const auto width = widths.find(type);
    if (width == widths.end() || address < 0 || address + width->second > RegisterCount)
        return false;
    if (order != "ABCD" && order != "CDAB" && order != "BADC" && order != "DCBA")
        return false;
    const int words = width->second;
    uint64_t bits = 0;
    if (type == "float32") {
        const float f = float(value);
        uint32_t b;
        std::memcpy(&b, &f, sizeof b);
        bits = b;
    } else if (type == "float64") {
        std::memcpy(&bits, &value, sizeof bits);
    } else {
        bits = static_cast<uint64_t>(useInteger ? integer : static_cast<long long>(value));
    }
    const bool reversed = order == "CDAB" || order == "DCBA";
    const bool swapped = order == "BADC" || order == "DCBA";
    for (int i = 0; i < words; ++i) {
        // Word i of the value, the most significant first.
        uint16_t word = uint16_t(bits >> (16 * (words - 1 - i)));
        if (swapped)
            word = uint16_t(word << 8 | word >> 8);
        registers[address + (reversed ? words - 1 - i : i)] = word;
    }
    return true;
}

// Six meters whose readings drift: the register map of the shipped meter
// table, served by every slave.
void updateDemo(std::map<int, Slave> &slaves, long t)
{
    for (auto &[id, slave] : slaves) {
        if (!slave.demo)
            continue;
        uint16_t *r = slave.map->tab_registers;
        const long volts = 2200 + (t + 3 * id) % 11;    // 0.1 V
        const long amps = 1231 + (t / 2 + id) % 7;      // 0.01 A
        const long pf = 946 + (t + 2 * id) % 9;         // 0.001
        const long watts = volts * amps * pf / 1000000; // W from 0.1 V, 0.01 A, 0.001
        const long wobble = (t / 5) % 3 - 1;
        const long temperature = id == 4 ? -52 + wobble : 235 + 10 * id + wobble; // 0.1 degree
        const long humidity = 550 + 10 * id + (t / 3) % 5;                        // 0.1 %
        const uint32_t energy = (1u << 24) + 12345u * uint32_t(id) + uint32_t(t) * uint32_t(id);
        r[0x0000] = uint16_t(volts);
        r[0x0002] = uint16_t(amps);
        r[0x0004] = uint16_t(watts);
        r[0x0006] = uint16_t(pf);
        r[0x0008] = uint16_t(int16_t(temperature));
        r[0x000A] = uint16_t(humidity);
        r[0x0010] = uint16_t(energy >> 16);
        r[0x0011] = uint16_t(energy & 0xFFFF);
        // A float meter in the input registers (demo/models.ini: PM-F32):
        // volts and amps as float32, words swapped.
        putTyped(slave.map->tab_input_registers, 0x0000, "float32", volts / 10.0 + 0.05 * id, "CDAB");
        putTyped(slave.map->tab_input_registers, 0x0006, "float32", amps / 100.0, "CDAB");
    }
}

void usage(std::FILE *out)
{
    std::fprintf(
        out, "usage: kelmar_metersim --device PATH | --tcp PORT | --rtu-tcp PORT [--listen HOST]\n"
             "                       [--baud N] [--parity N|E|O] [--verbose]\n"
             "                       [--paced [--turnaround MS]]\n"
             "                       [--demo] [--slave ID [--reg ADDR=VALUE[/N]]... "
             "[--fault MODE]]...\n"
             "                       [--fault ID:MODE]...\n"
             "  --device PATH         the meters on a serial device (a pty of socat)\n"
             "  --tcp PORT            the meters behind a Modbus TCP gateway listening on PORT\n"
             "                        (0: any free port); unit identifier = slave ID\n"
             "  --rtu-tcp PORT        the meters behind a serial server passing RTU frames\n"
             "                        through TCP (raw mode) on PORT\n"
             "  --listen HOST         the address to listen on (default 127.0.0.1; ::1 for IPv6)\n"
             "  --slave ID            a meter at address ID (1 to 247); --reg and --fault\n"
             "                        without ID apply to the last --slave\n"
             "  --reg ADDR=VALUE[/N]  VALUE (decimal, may be negative, or 0x hex) in N\n"
             "                        registers (default 1) from ADDR, high word first\n"
             "  --reg ADDR=TYPE:VALUE[:ORDER]  VALUE as TYPE (int16 uint16 int32 uint32 int64\n"
             "                        uint64 float32 float64) in ORDER (ABCD, the default,\n"
             "                        CDAB, BADC, DCBA), e.g. 0x0000=float32:230.5:CDAB\n"
             "  --input ADDR=...      the same in the input registers (function 4)\n"
             "  --fault MODE          silent | exception[=CODE] | badcrc | late[=MS] | short |\n"
             "                        garbage | otherslave[=ID] | split[=MS]; the same on\n"
             "                        every transport (badcrc over Modbus TCP: a broken header)\n"
             "  --paced               hold every reply back for the time the request and the\n"
             "                        reply take on the wire at --baud, plus the turnaround\n"
             "  --turnaround MS       the meter's pause before it replies (default 3.5\n"
             "                        characters); fractions allowed\n"
             "  --demo                six meters, addresses 1 to 6, readings that change;\n"
             "                        input registers 0x0000 and 0x0006 hold float32 CDAB\n"
             "                        volts and amps\n"
             "Prints \"ready\" on standard output once the device is open or the server\n"
             "listens (\"ready 6 slave(s) on tcp://127.0.0.1:PORT\"); ends on SIGTERM or SIGINT.\n");
}

bool parseInteger(const std::string &text, long long &value)
{
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    const bool negative = text[0] == '-';
    if (negative) {
        value = std::strtoll(text.c_str(), &end, 0);
    } else {
        const unsigned long long u = std::strtoull(text.c_str(), &end, 0);
        value = static_cast<long long>(u); // 64-bit patterns above 2^63 keep their bits
    }
    return errno == 0 && end && *end == '\0';
}

Slave &slaveAt(std::map<int, Slave> &slaves, int id)
{
    Slave &s = slaves[id];
    if (!s.map) {
        s.id = id;
        s.map = modbus_mapping_new(0, 0, RegisterCount, RegisterCount);
    }
    return s;
}

bool parseFault(const std::string &text, Slave &slave)
{
    const size_t eq = text.find('=');
    const std::string mode = text.substr(0, eq);
    long long arg = -1;
    if (eq != std::string::npos && !parseInteger(text.substr(eq + 1), arg))
        return false;
    if (mode == "silent") {
        slave.fault = Fault::Silent;
    } else if (mode == "exception") {
        slave.fault = Fault::Exception;
        slave.faultArg = arg < 0 ? MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE : int(arg);
        return slave.faultArg > 0 && slave.faultArg < MODBUS_EXCEPTION_MAX;
    } else if (mode == "badcrc") {
        slave.fault = Fault::BadCrc;
    } else if (mode == "late") {
        slave.fault = Fault::Late;
        slave.faultArg = arg < 0 ? DefaultLateMs : int(arg);
    } else if (mode == "short") {
        slave.fault = Fault::Short;
    } else if (mode == "garbage") {
        slave.fault = Fault::Garbage;
    } else if (mode == "split") {
        slave.fault = Fault::Split;
        slave.faultArg = arg < 0 ? DefaultSplitMs : int(arg);
        return slave.faultArg >= 0;
    } else if (mode == "otherslave") {
        slave.fault = Fault::OtherSlave;
        slave.faultArg = arg < 0 ? (slave.id % 247) + 1 : int(arg);
        return slave.faultArg >= 0 && slave.faultArg <= 255;
    } else {
        return false;
    }
    return true;
}

bool parseRegister(const std::string &text, Slave &slave, bool input = false)
{
    const size_t eq = text.find('=');
    if (eq == std::string::npos)
        return false;
    uint16_t *registers = input ? slave.map->tab_input_registers : slave.map->tab_registers;
    const std::string typed = text.substr(eq + 1);
    if (const size_t colon = typed.find(':'); colon != std::string::npos) {
        // TYPE:VALUE[:ORDER]
        const std::string type = typed.substr(0, colon);
        std::string valueText = typed.substr(colon + 1);
        std::string order = "ABCD";
        if (const size_t second = valueText.find(':'); second != std::string::npos) {
            order = valueText.substr(second + 1);
            valueText.resize(second);
        }
        long long address = 0;
        if (!parseInteger(text.substr(0, eq), address) || valueText.empty())
            return false;
        if (type.rfind("float", 0) == 0) {
            char *end = nullptr;
            const double v = std::strtod(valueText.c_str(), &end);
            return end && *end == '\0' && putTyped(registers, address, type, v, order);
        }
        long long v = 0;
        return parseInteger(valueText, v) && putTyped(registers, address, type, 0, order, v, true);
    }
    long long address = 0;
    long long value = 0;
    long long words = 1;
    std::string valueText = text.substr(eq + 1);
    const size_t slash = valueText.find('/');
    if (slash != std::string::npos) {
        if (!parseInteger(valueText.substr(slash + 1), words))
            return false;
        valueText.resize(slash);
    }
    if (!parseInteger(text.substr(0, eq), address) || !parseInteger(valueText, value))
        return false;
    if (words < 1 || words > 4 || address < 0 || address + words > RegisterCount)
        return false;
    if (words < 4) {
        const long long limit = 1LL << (16 * words);
        if (value < -(limit / 2) || value >= limit)
            return false;
    }
    uint64_t bits = static_cast<uint64_t>(value);
    for (long long i = words - 1; i >= 0; --i) {
        registers[address + i] = uint16_t(bits & 0xFFFF);
        bits >>= 16;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    std::map<int, Slave> slaves;
    Slave *current = nullptr;
    bool demo = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&](std::string &out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string value;
        long long number = 0;
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--paced") {
            options.paced = true;
        } else if (arg == "--turnaround") {
            char *end = nullptr;
            ok = next(value);
            if (ok) {
                options.turnaroundMs = std::strtod(value.c_str(), &end);
                ok = end && *end == '\0' && !value.empty() && options.turnaroundMs >= 0 &&
                     options.turnaroundMs < 60000;
            }
        } else if (arg == "--demo") {
            demo = true;
        } else if (arg == "--device") {
            ok = next(options.device);
        } else if (arg == "--tcp" || arg == "--rtu-tcp") {
            ok = next(options.listenPort) && parseInteger(options.listenPort, number) &&
                 number >= 0 && number <= 65535;
            options.transport = arg == "--tcp" ? Transport::ModbusTcp : Transport::RtuOverTcp;
        } else if (arg == "--listen") {
            ok = next(options.listenHost) && !options.listenHost.empty();
        } else if (arg == "--baud") {
            ok = next(value) && parseInteger(value, number) && number > 0;
            options.baud = int(number);
        } else if (arg == "--parity") {
            ok = next(value) && (value == "N" || value == "E" || value == "O");
            options.parity = ok ? value[0] : 'N';
        } else if (arg == "--slave") {
            ok = next(value) && parseInteger(value, number) && number >= 1 && number <= 247;
            if (ok)
                current = &slaveAt(slaves, int(number));
        } else if (arg == "--reg" || arg == "--input") {
            ok = next(value) && current && parseRegister(value, *current, arg == "--input");
        } else if (arg == "--fault") {
            ok = next(value);
            const size_t colon = value.find(':');
            if (ok && colon != std::string::npos) {
                ok = parseInteger(value.substr(0, colon), number) && number >= 1 && number <= 247;
                if (ok)
                    ok = parseFault(value.substr(colon + 1), slaveAt(slaves, int(number)));
            } else if (ok) {
                ok = current && parseFault(value, *current);
            }
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "metersim: bad argument near \"%s\"\n", arg.c_str());
            usage(stderr);
            return 2;
        }
    }
    if (options.device.empty() == (options.transport == Transport::Serial)) {
        usage(stderr);
        return 2;
    }
    if (demo) {
        for (int id = 1; id <= 6; ++id)
            slaveAt(slaves, id).demo = true;
        updateDemo(slaves, 0);
    }
    for (const auto &[id, slave] : slaves) {
        if (!slave.map) {
            std::fprintf(stderr, "metersim: out of memory\n");
            return 1;
        }
    }

    // The stop signals are held back except inside ppoll(), so a signal
    // can never slip in between the check and the wait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    // A master that goes away mid-reply must not end the server.
    std::signal(SIGPIPE, SIG_IGN);

    int status = 0;
    {
        Line line(options, slaves);
        if (!line.open()) {
            status = 1;
        } else {
            std::printf("ready %zu slave(s) on %s\n", slaves.size(), line.where().c_str());
            std::fflush(stdout);
            const Clock::time_point start = Clock::now();
            Clock::time_point nextDemo = start + std::chrono::seconds(1);
            while (!g_stop) {
                const Clock::time_point now = Clock::now();
                const Clock::time_point wake =
                    line.nextDeadline(demo ? nextDemo : now + std::chrono::seconds(10));
                const auto waitNs = std::max<long long>(
                    0, std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now).count());
                timespec timeout{time_t(waitNs / 1000000000), long(waitNs % 1000000000)};
                pollfd p[2] = {{line.fd(), POLLIN, 0}, {line.listenFd(), POLLIN, 0}};
                const int ready = ::ppoll(p, 2, &timeout, &waitMask);
                if (ready < 0 && errno != EINTR) {
                    status = 1;
                    break;
                }
                if (ready > 0 && p[0].fd >= 0 && (p[0].revents & (POLLIN | POLLHUP | POLLERR))) {
                    if (!line.readLine()) {
                        if (line.network()) {
                            if (options.verbose)
                                std::fprintf(stderr, "metersim: master went away\n");
                            line.dropClient();
                        } else {
                            std::fprintf(stderr, "metersim: the line has gone\n");
                            status = 1;
                            break;
                        }
                    }
                }
                if (ready > 0 && p[1].fd >= 0 && (p[1].revents & POLLIN))
                    line.acceptClient();
                const Clock::time_point after = Clock::now();
                line.sendDueReplies(after);
                line.dropStalePartial(after);
                if (demo && after >= nextDemo) {
                    const long seconds = long(
                        std::chrono::duration_cast<std::chrono::seconds>(after - start).count());
                    updateDemo(slaves, seconds);
                    nextDemo = start + std::chrono::seconds(seconds + 1);
                }
            }
        }
    }
    for (auto &[id, slave] : slaves)
        modbus_mapping_free(slave.map);
    return status;
}
