// Packet reader and builder throughput: run by hand, prints packets and field reads per second.
#include "ProtocolClassUn.h"
#include "ProtocolUn.h"
#include "SendMessageUn.h"

#include <QElapsedTimer>

#include <cstdio>
#include <functional>

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

double secondsFor(qint64 iterations, const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    for (qint64 i = 0; i < iterations; ++i)
        work();
    return double(timer.nsecsElapsed()) / 1e9;
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

} // namespace

int main()
{
    const RUserID user = fullProfile();
    const Packet update = BuildPresencePacket(user, false);
    constexpr int FieldsPerPacket = 25;
    constexpr qint64 Reads = 400000;

    const double readSeconds = secondsFor(Reads, [&] { readAll(update); });
    std::printf("UPDATEINFO of %lld bytes: classify + %d getters\n", static_cast<long long>(update.size()),
                FieldsPerPacket);
    std::printf("  %.0f packets/s, %.0f classify+field reads/s\n", Reads / readSeconds,
                Reads * (FieldsPerPacket + 1) / readSeconds);

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
    constexpr qint64 Builds = 200000;
    for (const Builder &b : builders) {
        const double s = secondsFor(Builds, [&] { g_sink = g_sink + b.build().size(); });
        std::printf("build %-28s %.0f packets/s\n", b.name, Builds / s);
    }
    return 0;
}
