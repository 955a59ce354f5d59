#include "app/main_form.h"

#include "app/host.h"

namespace app {
namespace {
CheckBox checkBox(const char* caption, int value, bool visible) {
    CheckBox box;
    box.caption = caption;
    box.value = value;
    box.visible = visible;
    return box;
}
}  // namespace

MainForm::MainForm()
    : caption("SQL Database Upgrade"),
      FXAuto(checkBox("Iniciar automaticamente (10 segundos)", 1, true)),
      FXSilence(checkBox("Silencioso", 1, true)),
      FXBackup(checkBox("Fazer backup da Base de Dados", 1, true)),
      FXDefaults(checkBox("Forçar a reconstrução de Defaults", 0, true)),
      FXIndexes(checkBox("Forçar a reconstrução de Indexes", 0, true)),
      FXDadosUpdate(checkBox("Actualizar tabelas de sistema", 1, true)),
      FXDebug(checkBox("Debug Mode", 0, false)),
      FXDadosUpdateMenus(checkBox("Actualizar Menus", 1, false)),
      FXDadosUpdateMenusClean(checkBox("Limpar Menus", 0, false)),
      FXDadosUpdatePesquisas(checkBox("Actualizar Pesquisas", 1, false)) {
    FXServer.text = kDefaultServer;
    FXDatabase.text = "Quorra_Trials";
    FXUsername.text = "sa";
    FXPassword.text = "kiwi";

    Command1.caption = "Carregar Estrutura";
    Command1.visible = false;
    Command2.caption = kUpgradeCaption;
    Command3.caption = "&Sair";

    ProgressBar1.value = 0;
}

void showPhaseProgress(MainForm& form, Host& host, const std::string& text, long count) {
    form.FXEvolucao.caption = text;
    form.FXEvolucao.visible = true;
    form.ProgressBar1.max = static_cast<int>(count);
    form.ProgressBar1.value = 0;
    host.repaint();
    host.pumpEvents();
}

}  // namespace app
