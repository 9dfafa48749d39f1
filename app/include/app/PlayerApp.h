#pragma once
// The application object: brings the process up in a fixed order (start-up lock, program
// folder, language file, skin list, command line), decides whether this copy is the first, and
// either runs the main dialog for the life of the program or hands its file to the running
// copy and ends.
#include <QStringList>
#include <string>
#include <vector>

#include "support/SharedFileMap.h"

class CPlayerApp {
public:
    // Made with the application object: creates or attaches to the shared block.
    CPlayerApp();
    ~CPlayerApp();
    CPlayerApp(const CPlayerApp&) = delete;
    CPlayerApp& operator=(const CPlayerApp&) = delete;

    // False: the process ends at once (this copy handed over). True: the dialog ran.
    bool InitInstance(const QStringList& arguments);
    // Gives the names, in order, to the running copy and brings that copy forward. Names that
    // are not movies are reported here, on the terminal of the user who gave them, and kept.
    void HandOver(const std::vector<std::string>& names);
    int ExitInstance();

    const std::string& GetProgramFolder() const { return m_programFolder; }
    const std::vector<std::string>& GetCommandLineFiles() const { return m_commandLineFiles; }
    CSharedFileMapCreator& SharedBlock() { return m_sharedBlock; }

    // Every argument that is not an option, in order, made absolute (the running copy that may
    // get them has its own working folder). A shell hands "*.tvq" over as many names.
    static std::vector<std::string> ParseCommandLine(const QStringList& arguments);
    // Trace the playlist's changes on stdout (environment TVQ_TRACE=1).
    static bool TraceRequested();

private:
    CSharedFileMapCreator m_sharedBlock;
    std::string m_programFolder;  // with a trailing '/'
    std::vector<std::string> m_commandLineFiles;
};

// The application object, or null outside the program (tests).
CPlayerApp* GetPlayerApp();
