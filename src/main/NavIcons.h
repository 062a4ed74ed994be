#pragma once

#include <QIcon>
#include <QList>

// The pictures of the editor: the navigation tree's image list, whose indices are fixed
// (0 incoming accounts, 1 an account, 2 general, 3 a group, 4 groups, 5 log, 6 advanced,
// 7 a user, 8 users, 9 log view, 10 log settings), and the log view's tool buttons.
namespace NavIcons {

QList<QIcon> imageList();
QIcon refreshIcon();
QIcon clearIcon();

} // namespace NavIcons
