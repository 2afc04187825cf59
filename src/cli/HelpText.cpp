#include "cli/HelpText.h"

namespace halvora::cli {

namespace {

const char exitCodes[] = "종료 코드:\n"
                         "  0  성공. 모든 변경을 시스템에 다시 물어 확인했습니다.\n"
                         "  1  변경이 거부되었거나 확인되지 않았습니다 (변경 기록은 남습니다).\n"
                         "  2  잘못된 사용법 또는 입력 (확장자, 앱, 프로필).\n"
                         "  3  시스템 또는 변경 이력 저장소의 오류.\n";

const char environment[] = "환경 변수:\n"
                           "  NO_COLOR  설정되어 있으면 색을 쓰지 않습니다. 색은 터미널 출력에만 씁니다.\n"
                           "  XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_DATA_DIRS, XDG_CONFIG_DIRS\n"
                           "            기본 앱 설정(mimeapps.list)과 데스크톱 파일을 찾는 위치.\n"
                           "  XDG_STATE_HOME\n"
                           "            변경 이력 위치 (halvora/defaults.sqlite3, 창과 같은 파일).\n";

struct CommandText {
    const char *name;
    const char *usage;
    const char *description;
};

const CommandText commandTexts[] = {
    {"list", "halvora-cli list [--json] [--search TEXT] [--filter FILTER]",
     "창이 불러오는 것과 같은 확장자 목록을 카탈로그 순서로 보여 줍니다.\n"
     "  --search TEXT    확장자, 콘텐츠 타입, 현재 기본 앱의 이름이나 ID에 TEXT가 들어간 것만\n"
     "                   (대소문자 무시).\n"
     "  --filter FILTER  all (기본), missingDefaultApplication, missingCandidateApps,\n"
     "                   recentlyChanged, verificationFailed 중 하나. 변경 이력을 읽을 수 없으면\n"
     "                   경고만 하고 목록을 보여 주지만, 이력이 필요한 마지막 두 필터는 실패합니다.\n"
     "  --json           연결 정보 객체의 JSON 배열 하나를 출력합니다.\n"},
    {"show", "halvora-cli show EXT [--json]",
     "확장자 하나의 콘텐츠 타입, 현재 기본 앱과 호환 앱을 보여 줍니다. EXT는 확장자 추가와\n"
     "같은 규칙으로 정리합니다 (앞의 점과 공백 제거, 소문자).\n"
     "  --json  연결 정보 객체 하나를 출력합니다.\n"},
    {"why", "halvora-cli why EXT [--json]",
     "EXT의 기본 앱이 왜 그 앱인지 보여 줍니다: 확장자의 콘텐츠 타입(같은 확장자를 가진 다른 타입),\n"
     "기본 앱을 정한 파일과 행, 그 앞에서 건너뛴 항목과 이유, 호환 앱마다 그 출처.\n"
     "사용자의 mimeapps.list가 아닌 파일이 정하면 표준 오류에 경고를 냅니다.\n"
     "  --json  같은 내용을 JSON 객체 하나로 출력합니다.\n"},
    {"set", "halvora-cli set EXT APP [--yes] [--json]",
     "EXT의 기본 앱을 APP으로 바꾸고, 시스템에 다시 물어 확인한 뒤 변경 기록을 남깁니다.\n"
     "APP은 데스크톱 파일 ID(org.example.Viewer.desktop, .desktop 생략 가능) 또는\n"
     "데스크톱 파일의 경로(/ 포함)입니다. APP이 이미 기본 앱이면 아무것도 바꾸지 않습니다.\n"
     "  --yes   확인 질문 없이 적용합니다. 표준 입력이 터미널이 아니면 반드시 필요합니다.\n"
     "  --json  변경 기록 객체를 출력합니다.\n"},
    {"bulk", "halvora-cli bulk APP EXT... [--dry-run] [--yes] [--json]",
     "여러 확장자에 같은 앱을 적용합니다. 먼저 행마다 적용 예정, 건너뜀, 확인 필요를 보여 주고,\n"
     "확인을 받으면 적용 예정인 행만 적용한 뒤 결과 요약을 출력합니다. APP을 ID로 주면 그 앱이\n"
     "호환 후보인 확장자만 적용하고, 경로로 주면 직접 선택한 앱으로 보아 후보가 아니어도 적용합니다.\n"
     "확인 필요인 행이 있거나 적용에 실패한 행이 있으면 종료 코드는 1입니다.\n"
     "  --dry-run  계획만 보여 주고 아무것도 바꾸지 않습니다.\n"
     "  --yes      확인 질문 없이 적용합니다.\n"
     "  --json     계획(과 요약)을 JSON 객체로 출력합니다.\n"},
    {"history", "halvora-cli history [--json]",
     "변경 이력을 최신순으로 보여 줍니다 (최대 50개, 창과 같은 이력).\n"
     "  --json  변경 기록 객체의 JSON 배열을 출력합니다.\n"},
    {"undo", "halvora-cli undo [RECORD-ID] [--json]",
     "RECORD-ID의 변경, 또는 주지 않으면 되돌릴 수 있는 가장 최근 변경을 되돌리고 확인합니다.\n"
     "되돌린 결과는 새 기록이 아니라 그 기록의 상태로 남습니다.\n"
     "  --json  갱신된 변경 기록 객체를 출력합니다.\n"},
    {"export", "halvora-cli export [FILE]",
     "현재 기본 앱을 프로필(확장자에서 데스크톱 파일 ID로의 작은 JSON 문서)로 저장합니다.\n"
     "FILE을 주지 않거나 -이면 표준 출력에 씁니다. 파일은 통째로 바뀌며 중간 상태로 남지 않습니다.\n"
     "쓰기에 실패하면 원래 파일이 그대로 남습니다 (종료 코드 3). FILE이 링크이면 링크가 가리키는\n"
     "파일을 바꾸고, 일반 파일이 아닌 것(FIFO, 장치, 폴더)에는 쓰지 않습니다 (종료 코드 2).\n"},
    {"import", "halvora-cli import FILE [--dry-run] [--yes] [--json]",
     "프로필을 읽어 앱마다 일괄 적용 계획(적용 예정, 건너뜀, 확인 필요, 알 수 없는 앱)을 보여 주고,\n"
     "확인을 받으면 검증과 변경 기록을 남기며 적용합니다. 다른 컴퓨터로 기본 앱을 옮길 때 씁니다.\n"
     "프로필의 앱이 그 확장자의 호환 후보가 아니면 확인 필요로 두고 적용하지 않습니다.\n"
     "같은 콘텐츠 타입의 확장자(jpg와 jpeg 등)에 서로 다른 앱을 지정한 프로필은 아무것도 바꾸지 않고\n"
     "거부합니다 (종료 코드 2).\n"
     "FILE이 -이면 표준 입력에서 읽습니다 (이때는 --yes나 --dry-run이 필요합니다).\n"
     "  --dry-run  계획만 보여 줍니다.\n"
     "  --yes      확인 질문 없이 적용합니다.\n"
     "  --json     계획과 요약을 JSON 객체로 출력합니다.\n"},
    {"check", "halvora-cli check [--restore] [--yes] [--json] [--notify]",
     "Halvora에서 바꾸고 확인한 기본 앱(또는 되돌린 앱) 가운데 그 뒤 다른 프로그램이 바꾼 것을\n"
     "찾아, 확장자와 콘텐츠 타입, 선택한 앱과 그 시각, 지금의 기본 앱, 지금 기본 앱을 정하는 곳을\n"
     "보여 줍니다. 확장자마다 가장 최근 기록만 봅니다. 실패했거나 되돌리기에 실패한 기록은 세지 않습니다.\n"
     "바뀐 것이 없으면 종료 코드는 0, 있으면 1입니다.\n"
     "  --restore  선택한 앱으로 되돌립니다. 보통의 변경과 같이 확인을 받고, 다시 확인하며,\n"
     "             확장자마다 새 변경 기록을 남깁니다. 종료 코드는 bulk와 같습니다.\n"
     "  --yes      --restore에서 확인 질문 없이 적용합니다.\n"
     "  --json     바뀐 기본 앱의 JSON 배열 (--restore와 함께면 기록과 요약을 담은 객체)을 출력합니다.\n"
     "  --notify   바뀐 것이 있으면 데스크톱 알림도 띄웁니다 (로그인 때 실행하는 자동 시작 항목이 "
     "씁니다).\n"},
    {"help", "halvora-cli help [COMMAND]", "명령의 도움말을 보여 줍니다.\n"},
};

} // namespace

QString generalHelp()
{
    return QStringLiteral(
               "사용법: halvora-cli COMMAND [OPTION...] [ARG...]\n"
               "\n"
               "확장자마다 시스템이 연결한 콘텐츠 타입, 기본 앱과 호환 앱을 보여 주고, 기본 앱을\n"
               "바꾼 뒤 시스템에 다시 물어 확인하고 기록합니다. 창과 같은 변경 이력을 씁니다.\n"
               "\n"
               "명령:\n"
               "  list     확장자 목록 (검색, 필터)\n"
               "  show     확장자 하나의 연결 정보\n"
               "  why      기본 앱이 정해진 근거\n"
               "  set      기본 앱 바꾸기\n"
               "  bulk     여러 확장자에 같은 앱 적용\n"
               "  history  변경 이력\n"
               "  undo     변경 되돌리기\n"
               "  export   기본 앱을 프로필로 저장\n"
               "  import   프로필의 기본 앱 적용\n"
               "  check    다른 프로그램이 바꾼 기본 앱 찾기, 되돌리기\n"
               "  help     명령 도움말 (halvora-cli COMMAND --help와 같음)\n"
               "\n"
               "데이터는 표준 출력으로, 메시지는 표준 오류로 나갑니다. --json 출력에는 색이나 진행 표시가\n"
               "섞이지 않습니다.\n"
               "\n") +
           QString::fromUtf8(exitCodes) + u'\n' + QString::fromUtf8(environment);
}

QString commandHelp(const QString &command)
{
    const CommandText *found = nullptr;
    for (const CommandText &text : commandTexts) {
        if (command == QLatin1String(text.name))
            found = &text;
    }
    if (!found)
        return generalHelp();
    return QStringLiteral("사용법: ") + QString::fromUtf8(found->usage) + QStringLiteral("\n\n") +
           QString::fromUtf8(found->description) + u'\n' + QString::fromUtf8(exitCodes);
}

} // namespace halvora::cli
