#include "PlayerWindowDesign.h"

namespace design {

namespace {

const char* const kChatTip = "Accede a nuestro chat y comparte tus ideas con los demas usuarios";
const char* const kHideTip = "Ocultar lista de canales";
const char* const kShowTip = "Mostrar lista de canales";
const char* const kNotice = "Comprobando si tienes la ultima versión.........";
constexpr Face kNone{nullptr, nullptr, nullptr};

// clang-format off
const ControlDesign kControls[] = {
    // role              kind           TV: name, caption, tooltip                         radio: name, caption, tooltip                       start           left, top, width, height
    {Ctl::Pause,         Kind::Button,  {"pauseButton", "II", "Stop"},                       {"pauseButton", "II", "Stop"},                          Start::Disabled, {1080, 4950, 495, 360}},
    {Ctl::Record,        Kind::Button,  {"recordButton", "&Grabar", "Graba tu emisora de televisión favorita"},
                                                                                           {"recordButton", "&Grabar", "Graba tu emisora de radio favorita"},
                                                                                                                                                Start::Disabled, {120, 5820, 1335, 375}},
    {Ctl::Mini,          Kind::Button,  {"miniButton", "Ver &Mini", "Visualiza la TV mientras haces otras tareas"},
                                                                                           {"miniButton", "Ver &Mini", "Minimiza Sintonex a la barra de tareas de Windows"},
                                                                                                                                                Start::Disabled, {1560, 5820, 1335, 375}},
    {Ctl::Switch,        Kind::Button,  {"switchButton", "&Radio", "Accede a la sección de radio"}, {"switchButton", "&Televisión", "Command8"},         Start::Shown,    {3000, 5820, 1335, 375}},
    {Ctl::Teletext,      Kind::Button,  {"teletextButton", "&Teletexto", "Visualiza el Teletexto de los diferentes canales de TV"},
                                                                                           kNone,                                               Start::Shown,    {4440, 5820, 1575, 375}},
    {Ctl::Chat,          Kind::Button,  {"chatButton", "C&hat", kChatTip},                  {"chatButton", "C&hat", kChatTip},                     Start::Shown,    {120, 6300, 1335, 375}},
    {Ctl::LeaveChat,     Kind::Button,  {"leaveChatButton", "&Salir Chat", kChatTip},             {"leaveChatButton", "&Salir Chat", kChatTip},               Start::Hidden,   {120, 6300, 1335, 375}},
    {Ctl::HideList,      Kind::Button,  {"hideListButton", "->", kHideTip},                     {"hideListButton", "->", kHideTip},                       Start::Shown,    {8250, 6300, 375, 375}},
    {Ctl::ShowList,      Kind::Button,  {"showListButton", "<-", kShowTip},                     {"showListButton", "<-", kShowTip},                       Start::Hidden,   {8250, 6300, 375, 375}},
    {Ctl::Lyrics,        Kind::Button,  kNone,                                             {"lyricsButton", "web", nullptr},                        Start::Shown,    {120, 8160, 1215, 375}},
    {Ctl::TestStation,   Kind::Button,  kNone,                                             {"testStationButton", "Command9", nullptr},                   Start::Shown,    {1440, 8160, 1215, 375}},
    {Ctl::Notice,        Kind::Label,   {"noticeLabel", kNotice, nullptr},                      {"noticeLabel", kNotice, nullptr},                        Start::Shown,    {120, 60, 5895, 255}},
    {Ctl::WebHost,       Kind::Label,   {"webHostLabel", "", nullptr},                           {"webHostLabel", "", nullptr},                             Start::Shown,    {3000, 6360, 3015, 255}},
    {Ctl::StatusHeading, Kind::Label,   {"statusHeadingLabel", "Estado:", nullptr},                    {"statusHeadingLabel", "Estado:", nullptr},                      Start::Shown,    {120, 5430, 720, 285}},
    {Ctl::StatusLine,    Kind::Label,   {"statusLabel", "Parado      ", nullptr},               {"statusLabel", "Parado          ", nullptr},             Start::Shown,    {840, 5430, 5175, 285}},
    {Ctl::ChannelName,   Kind::Label,   {"channelNameLabel", "", nullptr},                           {"channelNameLabel", "", nullptr},                             Start::Hidden,   {120, 7000, 2000, 255}},
    {Ctl::TopMirror,     Kind::Label,   {"topMirrorLabel", "top", nullptr},                        {"topMirrorLabel", "top", nullptr},                          Start::Hidden,   {2200, 7000, 600, 255}},
    {Ctl::LeftMirror,    Kind::Label,   {"leftMirrorLabel", "left", nullptr},                       {"leftMirrorLabel", "left", nullptr},                        Start::Hidden,   {2900, 7000, 600, 255}},
    {Ctl::VersionReply,  Kind::Label,   {"versionReplyLabel", "", nullptr},                          {"versionReplyLabel", "", nullptr},                            Start::Hidden,   {3600, 7000, 600, 255}},
    {Ctl::NowPlaying,    Kind::Label,   kNone,                                             {"nowPlayingLabel", "Label11", nullptr},                     Start::Shown,    {2880, 8160, 3135, 255}},
    {Ctl::PlayState,     Kind::Picture, {"play", nullptr, nullptr},                        {"play", nullptr, nullptr},                          Start::Shown,    {1680, 4920, 420, 420}},
    {Ctl::PauseState,    Kind::Picture, {"pause", nullptr, nullptr},                       {"pause", nullptr, nullptr},                         Start::Hidden,   {1680, 4920, 420, 420}},
    {Ctl::PlayPicture,   Kind::Picture, {"playPicture", nullptr, nullptr},                     {"playPicture", nullptr, nullptr},                       Start::Shown,    {120, 4920, 420, 420}},
    {Ctl::StopPicture,   Kind::Picture, {"stopPicture", nullptr, nullptr},                     {"stopPicture", nullptr, nullptr},                        Start::Hidden,   {120, 4920, 420, 420}},
    {Ctl::Enlarge,       Kind::Picture, {"enlargePicture", nullptr, nullptr},                     {"enlargePicture", nullptr, nullptr},                       Start::Shown,    {600, 4920, 420, 420}},
    {Ctl::Option,        Kind::Option,  {"searchLatch", "Option1", nullptr},                   {"searchLatch", "Option1", nullptr},                     Start::Shown,    {-3000, 0, 1215, 255}},
    {Ctl::PageFrame,     Kind::Frame,   kNone,                                             {"pageFrame", nullptr, nullptr},                        Start::Hidden,   {60, 300, 6015, 4560}},
    {Ctl::StreamAddress, Kind::TextBox, {"txurl", "", nullptr},                            kNone,                                               Start::Hidden,   {4300, 7000, 1200, 285}},
    {Ctl::Programme,     Kind::Label,   {"programmeLine", "", nullptr},                    kNone,                                               Start::Hidden,   {120, 60, 4455, 255}},
    {Ctl::ProgrammeProgress, Kind::Progress, {"programmeProgress", "", nullptr},           kNone,                                               Start::Hidden,   {4635, 105, 1380, 165}},
};

const MenuDesign kMenus[] = {
    // role               parent            TV: name, caption                                 radio: name, caption
    {Menu::Config,        Menu::None,       {"s", "&Configuración", nullptr},                 {"ser", "&Configuración", nullptr}},
    {Menu::UpdateLists,   Menu::Config,     {"actcanales", "Actualizar listas de canales", nullptr},
                                                                                              {"canaleslist", "Actualizar listas de canales", nullptr}},
    {Menu::OwnLists,      Menu::Config,     {"mislistas", "Mis listas de canales", nullptr},  {"mislistas", "Mis listas de canales", nullptr}},
    {Menu::Bar1,          Menu::Config,     {"barra3", "-", nullptr},                         {"barraori", "-", nullptr}},
    {Menu::Teletext,      Menu::Config,     {"txte", "&Teletexto", nullptr},                  {"txtte", "&Teletexto", nullptr}},
    {Menu::Guide,         Menu::Config,     {"guia", "&Guía de programación", nullptr},       kNone},
    {Menu::Skin,          Menu::Config,     {"camb_skin", "Cambiar &fondo", nullptr},         {"cmab_sk", "Cambiar &fondo", nullptr}},
    {Menu::History,       Menu::Config,     kNone,                                            {"historial", "Canciones escuchadas", nullptr}},
    {Menu::WindowMode,    Menu::Config,     {"ventanapos", "&Ventana", nullptr},              {"ventanapos2", "Ventana", nullptr}},
    {Menu::Normal,        Menu::WindowMode, {"normalform", "Ventana &normal", nullptr},       {"normalform", "Ventana normal", nullptr}},
    {Menu::AlwaysVisible, Menu::WindowMode, {"visibleform", "Siempre visibl&e", nullptr},     {"visibleform", "Siempre visible", nullptr}},
    {Menu::Others,        Menu::Config,     {"otro", "Otros", nullptr},                       {"otro", "Otros", nullptr}},
    {Menu::Recommend,     Menu::Others,     {"reco", "Recomiendanos un canal", nullptr},      {"reco", "Recomiendanos un canal", nullptr}},
    {Menu::Invite,        Menu::Others,     {"ivn", "Invita a tus amig@s", nullptr},          {"ivn", "Invita a tus amig@s", nullptr}},
    {Menu::Bar2,          Menu::Config,     {"barrr", "-", nullptr},                          {"barr", "-", nullptr}},
    {Menu::CheckUpdate,   Menu::Config,     {"actt", "Comprobar actualizaciones del software", nullptr},
                                                                                              {"actualiza", "Comprobar actualizaciones del software", nullptr}},
    {Menu::Bar3,          Menu::Config,     {"baaraa", "-", nullptr},                         {"barra", "-", nullptr}},
    {Menu::Exit,          Menu::Config,     {"salir", "Salir  Alt + F4", nullptr},            {"exit", "Salir ALT + F4", nullptr}},
    {Menu::Help,          Menu::None,       {"ayu", "&Ayuda", nullptr},                       {"ayuda2", "&Ayuda", nullptr}},
    {Menu::Donate,        Menu::Help,       {"donar", "Realizar donación", nullptr},          {"donar", "Realizar donación", nullptr}},
    {Menu::Bar4,          Menu::Help,       {"guionbarr", "-", nullptr},                      {"guionbarr", "-", nullptr}},
    {Menu::Support,       Menu::Help,       {"contac3", "&Contactar con el soporte", nullptr}, {"contac3", "Contactar con el soporte", nullptr}},
    {Menu::Bar5,          Menu::Help,       {"guion", "-", nullptr},                          {"guion", "-", nullptr}},
    {Menu::Forum,         Menu::Help,       {"foro", "Foro de Ayuda", nullptr},               {"foror", "Foro de Ayuda", nullptr}},
    {Menu::OnlineHelp,    Menu::Help,       {"read", "&Ayuda Online", nullptr},               {"intrucc", "Ayuda Online", nullptr}},
    {Menu::Report,        Menu::Help,       {"repor", "&Comunicar fallo de un canal", nullptr}, {"repor3", "Comunicar fallo de un canal", nullptr}},
    {Menu::Bar6,          Menu::Help,       {"barra4", "-", nullptr},                         {"barrala", "-", nullptr}},
    {Menu::Credits,       Menu::Help,       {"acerca2", "¿Quienes hacemos Sintonex?", nullptr}, {"creditos", "¿Quienes hacemos Sintonex?", nullptr}},
};
// clang-format on

} // namespace

std::span<const ControlDesign> controls() {
    return kControls;
}

std::span<const MenuDesign> menus() {
    return kMenus;
}

} // namespace design
