#include "app/main_form.h"

#include <gtest/gtest.h>

namespace app {
namespace {

struct CheckBoxRow {
    const char* name;
    CheckBox MainForm::*box;
    const char* caption;
    int value;
    bool visible;
};

TEST(MainForm, CheckBoxesStartWithTheirDesignDefaults) {
    const CheckBoxRow rows[] = {
        {"FXAuto", &MainForm::FXAuto, "Iniciar automaticamente (10 segundos)", 1, true},
        {"FXSilence", &MainForm::FXSilence, "Silencioso", 1, true},
        {"FXBackup", &MainForm::FXBackup, "Fazer backup da Base de Dados", 1, true},
        {"FXDefaults", &MainForm::FXDefaults, "Forçar a reconstrução de Defaults", 0, true},
        {"FXIndexes", &MainForm::FXIndexes, "Forçar a reconstrução de Indexes", 0, true},
        {"FXDadosUpdate", &MainForm::FXDadosUpdate, "Actualizar tabelas de sistema", 1, true},
        {"FXDebug", &MainForm::FXDebug, "Debug Mode", 0, false},
        {"FXDadosUpdateMenus", &MainForm::FXDadosUpdateMenus, "Actualizar Menus", 1, false},
        {"FXDadosUpdateMenusClean", &MainForm::FXDadosUpdateMenusClean, "Limpar Menus", 0, false},
        {"FXDadosUpdatePesquisas", &MainForm::FXDadosUpdatePesquisas, "Actualizar Pesquisas", 1, false},
    };
    const MainForm form;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const CheckBox& box = form.*row.box;
        EXPECT_EQ(box.caption, row.caption);
        EXPECT_EQ(box.value, row.value);
        EXPECT_EQ(box.visible, row.visible);
    }
}

TEST(MainForm, TextsButtonsAndProgressStartWithTheirDesignDefaults) {
    const MainForm form;
    EXPECT_EQ(form.caption, "SQL Database Upgrade");
    EXPECT_EQ(form.FXDatabase.text, "Quorra_Trials");
    EXPECT_EQ(form.FXUsername.text, "sa");
    EXPECT_EQ(form.FXPassword.text, "kiwi");
    EXPECT_EQ(form.Command1.caption, "Carregar Estrutura");
    EXPECT_FALSE(form.Command1.visible);
    EXPECT_EQ(form.Command2.caption, "Processar Upgrade");
    EXPECT_EQ(form.Command3.caption, "&Sair");
    EXPECT_EQ(form.FXEvolucao.caption, "");
    EXPECT_EQ(form.ProgressBar1.value, 0);
    EXPECT_EQ(form.Timer1.intervalMs, 20000);
    EXPECT_TRUE(form.Timer1.enabled);
    EXPECT_FALSE(form.SkippedTables.has_value());
    EXPECT_FALSE(form.UpgradeGuardActive);
}

TEST(ProgressBar, NeverPassesItsMaximum) {
    ProgressBar bar;
    bar.max = 2;
    bar.advance();
    bar.advance();
    bar.advance();
    EXPECT_EQ(bar.value, 2);
}

}  // namespace
}  // namespace app
