// Packet reader cost against its floor, and builder throughput. Every figure is the median of a few
// rounds of thread CPU time; the whole run takes a few seconds.
#include "protocol/ProtocolClassUn.h"
#include "protocol/ProtocolUn.h"
#include "protocol/SendMessageUn.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

namespace {

RUserID fullProfile()
{
    RUserID u;
    u.Alias = "Anna Karenina";
    u.PictureIndex = 12;
    u.IP = "192.168.100.117";
    u.MAC = "00-1A-2B-3C-4D-5E";
    u.ID = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}";
    u.ICQ = "123456789";
    u.Color = 16711680;
    u.FirstName = "Anna";
    u.SecondName = "Arkadyevna";
    u.EMail = "anna@example.org";
    u.Street = "Nevsky Prospect 28\r\nBuilding 2";
    u.Town = "Saint Petersburg";
    u.House = "28";
    u.Field = "Central";
    u.WorkStreet = "Palace Square 1";
    u.WorkTown = "Saint Petersburg";
    u.WorkHouse = "1";
    u.WorkField = "Admiralty";
    u.WorkName = "Imperial Railway Company";
    u.WorkDepartment = "Passenger Service";
    u.WorkType = "Planning of timetables\r\nand routes";
    u.WorkPost = "Senior planner";
    u.Sex = 2;
    u.Age = 28;
    u.Interest = "Reading, horse riding,\r\nballroom dancing";
    return u;
}

// CPU time of this thread: the machine's cores are shared, so wall time would count other work.
qint64 threadNanoseconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Keeps the compiler from proving a pointer's target unchanged, so that pure calls are not hoisted.
template <typename T> void clobber(T *&pointer)
{
    asm volatile("" : "+r"(pointer) : : "memory");
}

template <typename Work> double nanosecondsPer(qint64 iterations, const Work &work)
{
    const qint64 start = threadNanoseconds();
    for (qint64 i = 0; i < iterations; ++i)
        work();
    return double(threadNanoseconds() - start) / double(iterations);
}

// Enough iterations for about the given time per round.
qint64 iterationsFor(double nanosecondsEach, double roundMilliseconds)
{
    return std::max<qint64>(1, qint64(roundMilliseconds * 1e6 / std::max(1.0, nanosecondsEach)));
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

volatile qsizetype g_sink = 0;

void readAll(const Packet &packet)
{
    qsizetype n = ClassifyPacket(packet);
    const TDataNewMessage m(packet);
    n += m.GetAlias().size() + m.GetImageIndex() + m.GetIP().size() + m.GetMAC().size() + m.GetID().size() +
         m.GetICQ().size() + m.GetColor() + m.GetName().size() + m.GetName2().size() + m.GetEMail().size() +
         m.GetStreet().size() + m.GetTown().size() + m.GetHouse().size() + m.GetField().size() +
         m.GetWStreet().size() + m.GetWTown().size() + m.GetWHouse().size() + m.GetWField().size() +
         m.GetWName().size() + m.GetWDepartment().size() + m.GetWTypeWork().size() + m.GetWPost().size() +
         m.GetSex() + m.GetOld() + m.GetInterest().size();
    g_sink = g_sink + n;
}

// The opening tags of the 25 fields that readAll reads.
const char *const PresenceOpenTags[] = {"<ALIAS>",     "<IMAGEINDEX>", "<IP>",     "<MAC>",   "<ID>",
                                        "<ICQ>",       "<COLOR>",      "<NAME>",   "<NAME2>", "<EMAIL>",
                                        "<STREET>",    "<TOWN>",       "<HOUSE>",  "<FIELD>", "<WSTREET>",
                                        "<WTOWN>",     "<WHOUSE>",     "<WFIELD>", "<WNAME>", "<WDEPARTMENT>",
                                        "<WTYPEWORK>", "<WPOST>",      "<SEX>",    "<OLD>",   "<Interest>"};

// The least any reader must do: find each field once in the raw bytes.
void strstrPerTag(const char *bytes)
{
    qsizetype n = 0;
    for (const char *tag : PresenceOpenTags) {
        clobber(bytes);
        n += strstr(bytes, tag) - bytes;
    }
    g_sink = g_sink + n;
}

} // namespace

int main()
{
    constexpr int Rounds = 7;
    constexpr double RoundMilliseconds = 150;
    const RUserID user = fullProfile();
    const Packet update = BuildPresencePacket(user, false);
    // strstr needs a terminator; QByteArray keeps one after its data.
    const char *bytes = update.constData();

    readAll(update);
    strstrPerTag(bytes);
    const qint64 readIterations =
        iterationsFor(nanosecondsPer(2000, [&] { readAll(update); }), RoundMilliseconds);
    const qint64 floorIterations =
        iterationsFor(nanosecondsPer(2000, [&] { strstrPerTag(bytes); }), RoundMilliseconds);
    std::vector<double> reads;
    std::vector<double> floors;
    std::vector<double> ratios;
    for (int round = 0; round < Rounds; ++round) {
        reads.push_back(nanosecondsPer(readIterations, [&] { readAll(update); }));
        floors.push_back(nanosecondsPer(floorIterations, [&] { strstrPerTag(bytes); }));
        ratios.push_back(reads.back() / floors.back());
    }
    const double read = median(reads);
    const double floor = median(floors);
    std::printf("UPDATEINFO of %lld bytes, medians of %d rounds:\n", static_cast<long long>(update.size()),
                Rounds);
    std::printf("  classify + %d fields: %.0f ns\n", int(std::size(PresenceOpenTags)), read);
    std::printf("  floor, one strstr per tag: %.0f ns\n", floor);
    std::printf("  ratio %.2f (per round %.2f..%.2f)\n", read / floor,
                *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));

    const WireIdentity me = WireIdentity::fromEntry(user);
    const GroupTalkWire group{
        "{6F9619FF-8B86-D011-B42D-00C04FC96400}", user.ID, user.IP, user.MAC, user.Alias, "Friends"};
    const QString list = BuildUserIDList(user.ID, {user.ID, user.ID, user.ID});
    const QString body = QString(200, u'x');
    struct Builder {
        const char *name;
        std::function<Packet()> build;
    };
    const Builder builders[] = {
        {"NEW",
         [&] {
             return BuildPresencePacket(user, true);
         }},
        {"UPDATEINFO",
         [&] {
             return BuildPresencePacket(user, false);
         }},
        {"DISCONNECT",
         [&] {
             return BuildDisconnectPacket(user);
         }},
        {"MESSAGE",
         [&] {
             return BuildMessagePacket(me, body);
         }},
        {"MESSAGETOGROUP",
         [&] {
             return BuildGroupMessagePacket(list, group, me, body);
         }},
        {"MESSAGETOUSER",
         [&] {
             return BuildUserMessagePacket(user.ID, me, body, false);
         }},
        {"MESSAGETOUSER auto-reply",
         [&] {
             return BuildUserMessagePacket(user.ID, me, body, true);
         }},
        {"FILETO",
         [&] {
             return BuildFileToPacket(3, "C:\\a.txt", user.ID, user.IP, user.ID, user.IP);
         }},
        {"UPDATEINFOTOGROUP_",
         [&] {
             return BuildUpdateInfoToGroupPacket(list, group, me);
         }},
        {"MESSAGETOGROUPDELETE author",
         [&] {
             return BuildGroupTalkDeletePacket(group);
         }},
        {"MESSAGETOGROUPDELETE group",
         [&] {
             return BuildContactGroupDeletePacket(group.groupId, me, "Friends");
         }},
        {"MESSAGETOGROUPRENAME",
         [&] {
             return BuildContactGroupRenamePacket(group.groupId, me, "Friends");
         }},
        {"MESSAGETOPRIVATEDELETE",
         [&] {
             return BuildPrivateDeletePacket(user.ID, me);
         }},
    };
    for (const Builder &b : builders) {
        auto build = [&] {
            g_sink = g_sink + b.build().size();
        };
        const qint64 iterations = iterationsFor(nanosecondsPer(200, build), 40);
        std::vector<double> times;
        for (int round = 0; round < 3; ++round)
            times.push_back(nanosecondsPer(iterations, build));
        std::printf("build %-28s %6.0f ns\n", b.name, median(times));
    }
    return 0;
}
