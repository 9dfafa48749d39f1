#pragma once
// The application object: brings the process up in a fixed order (start-up lock, program
// folder, language file, skin list, command line), decides whether this copy is the first, and
// either runs the main dialog for the life of the program or hands its file to the running
// copy and ends.
#include <QStringList>
#include <string>

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
    // Gives the name to the running copy and brings that copy forward.
    void HandOver(const std::string& name);
    int ExitInstance();

    const std::string& GetProgramFolder() const { return m_programFolder; }
    const std::string& GetCommandLineFile() const { return m_commandLineFile; }
    CSharedFileMapCreator& SharedBlock() { return m_sharedBlock; }

    // The first argument that is not an option, made absolute (the running copy that may get
    // it has its own working folder); "" without one.
    static std::string ParseCommandLine(const QStringList& arguments);
    // Trace the playlist's changes on stdout (environment TVQ_TRACE=1).
    static bool TraceRequested();

private:
    CSharedFileMapCreator m_sharedBlock;
    std::string m_programFolder;    // with a trailing '/'
    std::string m_commandLineFile;  // "" when none was given
};

// The application object, or null outside the program (tests).
CPlayerApp* GetPlayerApp();
